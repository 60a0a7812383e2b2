// The register and unregister passes of registry scripts. One table of
// scripts runs against the in-memory registry and against the real registry
// (a private key standing in for HKEY_CLASSES_ROOT), and both must end with
// the same contents; a second table needs what only the in-memory registry
// can do (read-only keys, refused calls, a double-byte code page).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "registrar/registrar.h"
#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "support/double_byte_code_page.h"
#include "support/identities.h"
#include "support/memory_registry.h"
#include "support/platform_override.h"
#include "support/registry_text.h"
#include "support/script_seeds.h"
#ifdef _WIN32
#include "support/registry_override.h"
#else
#include <fstream>
#include <sstream>
#endif

namespace {

const HRESULT kNotRun = 1;  // the case skips the register pass
const HRESULT kSyntaxError = DISP_E_EXCEPTION;
const HRESULT kAccessDenied = HRESULT(0x80070005);

struct ScriptCase {
  const char* name;
  std::string setup;  // registered first when not empty
  std::string script;
  HRESULT registered;
  std::vector<std::string> afterRegister;  // below HKCR, the root's own line left out
  HRESULT unregistered;
  std::vector<std::string> afterUnregister;
  void (*prepare)(CMemoryRegistry&) = nullptr;
  const char* untouched = nullptr;  // no call of the script may name this
};

void PrintTo(const ScriptCase& c, std::ostream* out) { *out << c.name; }

std::string Expected(std::vector<std::string> lines) {
  lines.push_back("");
  return JoinSortedLines(std::move(lines));
}

std::string Repeat(char c, size_t count) { return std::string(count, c); }

const std::string kValueName259 = Repeat('n', 259);
const std::string kValueName260 = Repeat('n', 260);

const ScriptCase kSharedCases[] = {
    {"empty script", "", "", S_OK, {}, S_OK, {}},
    {"only whitespace", "", "\r\n\t \r\n", S_OK, {}, S_OK, {}},
    {"keys values and subkeys", "",
     "HKCR\r\n{\r\n\tFoo = s 'bar'\r\n\t{\r\n\t\tSub\r\n\t\t{\r\n\t\t\tval Name = s 'v'\r\n"
     "\t\t}\r\n\t}\r\n}\r\n",
     S_OK, {"Foo", "Foo||1|bar", "Foo\\Sub", "Foo\\Sub|Name|1|v"}, S_OK, {}},
    {"quoted names and doubled apostrophes", "",
     "HKCR { 'it''s' = s 'a b' { val 'x y' = s '''' } }", S_OK,
     {"it's", "it's||1|a b", "it's|x y|1|'"}, S_OK, {}},
    {"root names in any case", "",
     "hkcr { A } HKEY_CLASSES_ROOT { B } HkEy_ClAsSeS_rOoT { C }", S_OK, {"A", "B", "C"}, S_OK,
     {}},
    {"misspelt root", "", "HKEY_CLASS_ROOT { A }", kSyntaxError, {}, kSyntaxError, {}},
    {"root and brace as one token", "", "HKCR{ }", kSyntaxError, {}, kSyntaxError, {}},
    {"opener tested by its first character", "", "HKCR {x }", S_OK, {}, S_OK, {}},
    {"vertical tab inside a name", "", "HKCR { a\vb }", S_OK, {"a\vb"}, S_OK, {}},
    {"backslash in a key name", "", "HKCR { 'A\\B' }", kSyntaxError, {}, kSyntaxError, {},
     nullptr, "HKCR"},
    // An empty name stands for the enclosing key itself, which a removal
    // would delete with everything below it.
    {"empty key name to delete", "HKCR { Victim { Sub } }", "HKCR { Delete '' }", kSyntaxError,
     {"Victim", "Victim\\Sub"}, kSyntaxError, {"Victim", "Victim\\Sub"}, nullptr, "HKCR"},
    {"empty key name to force-remove below a kept key", "HKCR { Keep { Sub } }",
     "HKCR { NoRemove Keep { ForceRemove '' } }", kSyntaxError, {"Keep", "Keep\\Sub"},
     kSyntaxError, {"Keep", "Keep\\Sub"}},
    {"empty key name below a kept key", "HKCR { Keep = s 'k' }", "HKCR { NoRemove Keep { '' } }",
     kSyntaxError, {"Keep", "Keep||1|k"}, kSyntaxError, {"Keep", "Keep||1|k"}},
    {"failed write rolls the block back", "", "HKCR { Foo = s 'x' Bar = q 'y' }", kSyntaxError,
     {}, S_OK, {}},
    {"ForceRemove of a name with a backslash", "HKCR { A { B } }", "HKCR { ForceRemove 'A\\B' }",
     kSyntaxError, {"A", "A\\B"}, kSyntaxError, {"A", "A\\B"}, nullptr, "HKCR"},
    {"ForceRemove replaces the whole subtree", "HKCR { Foo = s 'old' { A { A1 A2 } B C } }",
     "HKCR { ForceRemove Foo = s 'new' { D } }", S_OK, {"Foo", "Foo||1|new", "Foo\\D"}, S_OK, {}},
    {"ForceRemove of an absent key", "", "HKCR { ForceRemove Foo }", S_OK, {"Foo"}, S_OK, {}},
    {"ForceRemove of a protected key", "HKCR { CLSID { Other } }",
     "HKCR { ForceRemove clsid = s 'x' }", S_OK, {"CLSID", "CLSID||1|x", "CLSID\\Other"},
     kAccessDenied, {"CLSID", "CLSID||1|x", "CLSID\\Other"}},
    {"Delete removes a subtree and writes nothing", "HKCR { Foo { Sub } Bar }",
     "HKCR { Delete Foo = s 'ignored' }", S_OK, {"Bar"}, S_OK, {"Bar"}},
    {"Delete of a protected key", "HKCR { Interface { X } }", "HKCR { Delete INTERFACE }", S_OK,
     {"Interface", "Interface\\X"}, kAccessDenied, {"Interface", "Interface\\X"}},
    {"block after Delete", "", "HKCR { Delete Foo { Sub } }", kSyntaxError, {}, S_OK, {}},
    {"NoRemove key stays without what its block names", "",
     "HKCR { NoRemove Keep { Sub = s 'x' val V = s 'y' } }", S_OK,
     {"Keep", "Keep\\Sub", "Keep\\Sub||1|x", "Keep|V|1|y"}, S_OK, {"Keep"}},
    {"NoRemove value below a kept key", "",
     "HKCR { NoRemove Foo { NoRemove Val Kept = s 'k' Val Gone = s 'g' } }", S_OK,
     {"Foo", "Foo|Gone|1|g", "Foo|Kept|1|k"}, S_OK, {"Foo", "Foo|Kept|1|k"}},
    {"keywords quoted and in any case", "",
     "HKCR { 'noremove' Keep { VAL a = S 'x' vAl b = s 'y' } }", S_OK,
     {"Keep", "Keep|a|1|x", "Keep|b|1|y"}, S_OK, {"Keep"}},
    {"NoRemove then ForceRemove names a kept key", "", "HKCR { NoRemove ForceRemove }", S_OK,
     {"ForceRemove"}, S_OK, {"ForceRemove"}},
    {"ForceRemove then NoRemove keeps the key after it", "", "HKCR { ForceRemove NoRemove X }",
     S_OK, {"X"}, S_OK, {"X"}},
    {"absent keys and values in the unregister pass", "HKCR { Foo }",
     "HKCR { Foo { val Missing = s 'x' Absent { Deeper { val V = s 'v' } } } }", kNotRun, {},
     S_OK, {}},
    {"foreign subkey stops the unregister pass", "HKCR { App { Foreign } }",
     "HKCR { App { Mine = s 'm' } Later }", S_OK,
     {"App", "App\\Foreign", "App\\Mine", "App\\Mine||1|m", "Later"}, kAccessDenied,
     {"App", "App\\Foreign", "Later"}},
    {"rollback of the second root block", "",
     "HKCR { First } HKCR { Second = s 'x' Bad = q 'y' } HKCR { Third }", kSyntaxError,
     {"First"}, S_OK, {}},
    {"rollback removes what was there before", "HKCR { Old = s 'o' }",
     "HKCR { Old Bad = q 'y' }", kSyntaxError, {}, S_OK, {}},
    {"text after a root block", "", "HKCR { A } junk", kSyntaxError, {"A"}, kSyntaxError, {}},
    {"missing closing brace", "", "HKCR { A", kSyntaxError, {"A"}, kSyntaxError, {"A"}},
    {"value at the top of a root block", "", "HKCR { val Top = s 't' }", S_OK, {"|Top|1|t"},
     S_OK, {}},
    {"empty block", "", "HKCR { Foo { } }", S_OK, {"Foo"}, S_OK, {}},
    {"registering again overwrites", "HKCR { Foo = s 'old' { val V = d 7 } }",
     "HKCR { Foo = s 'new' { val V = d 8 } }", S_OK, {"Foo", "Foo||1|new", "Foo|V|4|8"}, S_OK,
     {}},
    {"string values", "", "HKCR { V { val a = s '' val b = s 'x y' val c = s \"q\" } }", S_OK,
     {"V", "V|a|1|", "V|b|1|x y", "V|c|1|\"q\""}, S_OK, {}},
    {"number values", "",
     "HKCR { V { val a = d 42 val b = d 4294967295 val c = d 0 val d = d &H10 "
     "val e = d 'not a number' val f = d 4294967296 val g = d '' } }",
     S_OK,
     {"V", "V|a|4|42", "V|b|4|4294967295", "V|c|4|0", "V|d|4|16", "V|e|4|0", "V|f|4|0",
      "V|g|4|0"},
     S_OK, {}},
    {"binary values", "", "HKCR { V { val a = b 0A1b val b = b zz val c = b '' } }", S_OK,
     {"V", "V|a|3|0a1b", "V|b|3|00", "V|c|3|"}, S_OK, {}},
    {"binary text of odd length", "", "HKCR { V { val a = b abc } }", E_FAIL, {}, S_OK, {}},
    {"multi-string values", "",
     "HKCR { V { val a = m 'one\\0two\\0' val b = m 'one\\0two' val c = m 'a\\nb' "
     "val d = m 'one\\0\\0two' val e = m '' val f = m 'x\\' } }",
     S_OK,
     {"V", "V|a|7|6f6e650074776f0000", "V|b|7|6f6e650074776f0000", "V|c|7|615c6e620000",
      "V|d|7|6f6e650000", "V|e|7|00", "V|f|7|785c0000"},
     S_OK, {}},
    {"type letter SZ in the register pass", "", "HKCR { Foo = sz 'x' }", kSyntaxError, {}, S_OK,
     {}},
    {"type letter SZ in the unregister pass", "HKCR { Foo }", "HKCR { Foo = sz 'x' }", kNotRun,
     {}, S_OK, {}},
    {"value name without an assignment", "", "HKCR { Foo { val a s 'x' } }", kSyntaxError,
     {"Foo"}, kSyntaxError, {"Foo"}},
    {"block after a value entry", "", "HKCR { Foo { val a = s 'x' { Sub } } }", kSyntaxError,
     {"Foo"}, kSyntaxError, {"Foo"}},
    {"value name of 259 bytes", "", "HKCR { V { val '" + kValueName259 + "' = s 'x' } }", S_OK,
     {"V", "V|" + kValueName259 + "|1|x"}, S_OK, {}},
    {"value name of 260 bytes is refused", "",
     "HKCR { V { val '" + kValueName260 + "' = s 'x' } }", kSyntaxError, {"V"}, kSyntaxError,
     {"V"}},
    {"variables", "", "HKCR { '%APPID%' = s '%Module%' { val 100%% = s '%%' } }", S_OK,
     {BRISVEL_APPID_TEXT, BRISVEL_APPID_TEXT "||1|C:\\it's\\x.dll",
      BRISVEL_APPID_TEXT "|100%|1|%"},
     S_OK, {}},
    {"unknown variable touches nothing", "", "HKCR { Foo } HKCR { %NOPE% }", kSyntaxError, {},
     kSyntaxError, {}, nullptr, "HKCR"},
};

void MakeLockedKey(CMemoryRegistry& registry) { registry.SetReadOnly(HKEY_CLASSES_ROOT, "Locked"); }

const std::string kLongKeyName = Repeat('k', 300);
const std::string kOtherLongKeyName = Repeat('j', 300);

const ScriptCase kMemoryCases[] = {
    {"read-only key refuses its default value", "", "HKCR { Other = s 'o' Locked = s 'x' }",
     kAccessDenied, {"Locked"}, kAccessDenied, {"Locked"}, MakeLockedKey},
    {"read-only key refuses a named value", "", "HKCR { Locked { val v = s 'x' } }",
     kAccessDenied, {"Locked"}, kAccessDenied, {"Locked"}, MakeLockedKey},
    {"failed create", "", "HKCR { Foo { Sub } }", HRESULT(0x80070008), {}, S_OK, {},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kCreate, ERROR_NOT_ENOUGH_MEMORY, "HKCR\\Foo\\Sub");
     }},
    {"refused write", "", "HKCR { Foo = s 'x' }", kAccessDenied, {}, S_OK, {},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kSetValue, ERROR_ACCESS_DENIED, "HKCR\\Foo");
     }},
    {"refused key deletion", "", "HKCR { Foo { Sub } }", S_OK, {"Foo", "Foo\\Sub"},
     kAccessDenied, {"Foo"},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kDeleteKey, ERROR_ACCESS_DENIED, "HKCR\\Foo");
     }},
    {"refused enumeration leaves the subtree of ForceRemove", "HKCR { Foo { Sub } }",
     "HKCR { ForceRemove Foo = s 'x' }", S_OK, {"Foo", "Foo||1|x", "Foo\\Sub"}, kAccessDenied,
     {"Foo", "Foo||1|x", "Foo\\Sub"},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kEnumKey, ERROR_INVALID_HANDLE, "HKCR\\Foo");
     }},
    {"refused value deletion", "", "HKCR { Foo { val v = s 'x' } }", S_OK, {"Foo", "Foo|v|1|x"},
     kAccessDenied, {"Foo", "Foo|v|1|x"},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kDeleteValue, ERROR_ACCESS_DENIED);
     }},
    {"refused open skips the block of its key", "", "HKCR { Foo { Sub } }", S_OK,
     {"Foo", "Foo\\Sub"}, kAccessDenied, {"Foo", "Foo\\Sub"},
     [](CMemoryRegistry& r) {
       r.Refuse(CMemoryRegistry::Call::kOpen, ERROR_ACCESS_DENIED, "HKCR\\Foo");
     }},
    {"trail byte that is a backslash", "",
     std::string("HKCR { 'a") + kTrailBackslash + "' = m 'x" + kTrailBackslash + "0y' }", S_OK,
     {std::string("a") + kTrailBackslash,
      std::string("a") + kTrailBackslash + "||7|78955c30790000"},
     // The fixture's copy of the platform table restores the stepping.
     S_OK, {}, [](CMemoryRegistry&) { InstallDoubleByteStepping(); }},
    {"key name longer than its field is removed by its whole name", "",
     "HKCR { '" + kLongKeyName + "' }", S_OK, {kLongKeyName, Repeat('k', 259)}, S_OK,
     {Repeat('k', 259)},
     [](CMemoryRegistry& r) { r.CreateKey(HKEY_CLASSES_ROOT, Repeat('k', 259)); }},
    // Reading the first long name again must not make the second entry
    // believe it began there.
    {"long key names one after another are removed each by its own name", "",
     "HKCR { '" + kLongKeyName + "' '" + kOtherLongKeyName + "' }", S_OK,
     {kLongKeyName, kOtherLongKeyName}, S_OK, {}},
};

enum class Backend { kMemory, kReal };

void PrintTo(Backend backend, std::ostream* out) {
  *out << (backend == Backend::kReal ? "real registry" : "memory registry");
}

// One registry the scripts run against, with a view of what HKCR holds.
class CScriptRegistry {
 public:
  virtual ~CScriptRegistry() = default;
  virtual std::string Dump() = 0;
};

class CMemoryScriptRegistry : public CScriptRegistry {
 public:
  std::string Dump() override { return registry.Dump(HKEY_CLASSES_ROOT); }
  CMemoryRegistry registry;
};

#ifdef _WIN32
class CRealScriptRegistry : public CScriptRegistry {
 public:
  std::string Dump() override { return DumpRegistryTree(HKEY_CLASSES_ROOT, ""); }

 private:
  ScopedRegistryOverride override_{HKEY_CLASSES_ROOT};
};

// Every registry the shared cases run on.
const Backend kBackends[] = {Backend::kMemory, Backend::kReal};
#else
// A native build has no registry of the platform's.
const Backend kBackends[] = {Backend::kMemory};
#endif

// A registrar with the component's variables and one registry to run on.
class CScriptRun {
 public:
  explicit CScriptRun(Backend backend) {
    EXPECT_EQ(S_OK, registrar_.SetReplacement(L"APPID", L"" BRISVEL_APPID_TEXT));
    EXPECT_EQ(S_OK, registrar_.SetReplacement(L"Module", L"C:\\it''s\\x.dll"));
#ifdef _WIN32
    if (backend == Backend::kReal) {
      registry_ = std::make_unique<CRealScriptRegistry>();
      return;
    }
#endif
    auto memory = std::make_unique<CMemoryScriptRegistry>();
    memory_ = &memory->registry;
    registry_ = std::move(memory);
  }

  HRESULT Run(const std::string& text, bool doRegister) {
    RecordScriptSeed(text);
    CScriptParser parser(&registrar_);
    return parser.RunScript(text.c_str(), doRegister);
  }

  std::string Dump() { return registry_->Dump(); }

  // The in-memory registry; null for the real one.
  CMemoryRegistry* Memory() { return memory_; }

 private:
  ScopedPlatformCalls platform_;
  CRegistrar registrar_;
  std::unique_ptr<CScriptRegistry> registry_;
  CMemoryRegistry* memory_ = nullptr;
};

class ScriptTest : public ::testing::TestWithParam<std::tuple<ScriptCase, Backend>> {
 protected:
  CScriptRun run_{std::get<1>(GetParam())};
};

TEST_P(ScriptTest, LeavesTheRegistryAsExpected) {
  const ScriptCase& c = std::get<0>(GetParam());
  CMemoryRegistry* memory = run_.Memory();
  if (c.prepare) c.prepare(*memory);
  if (!c.setup.empty()) {
    ASSERT_EQ(S_OK, run_.Run(c.setup, true));
  }
  const size_t callsBefore = memory ? memory->Calls().size() : 0;
  if (c.registered != kNotRun) {
    EXPECT_EQ(c.registered, run_.Run(c.script, true)) << "register pass";
    EXPECT_EQ(Expected(c.afterRegister), run_.Dump()) << "after the register pass";
  }
  EXPECT_EQ(c.unregistered, run_.Run(c.script, false)) << "unregister pass";
  EXPECT_EQ(Expected(c.afterUnregister), run_.Dump()) << "after the unregister pass";
  if (!memory) return;
  EXPECT_EQ(0u, memory->OpenHandleCount()) << "every key opened is closed";
  if (c.untouched) {
    for (size_t i = callsBefore; i < memory->Calls().size(); ++i) {
      EXPECT_EQ(std::string::npos, memory->Calls()[i].find(c.untouched)) << memory->Calls()[i];
    }
  }
}

std::string CaseAndBackend(const ::testing::TestParamInfo<std::tuple<ScriptCase, Backend>>& info) {
  std::string name;
  for (const char* c = std::get<0>(info.param).name; *c; ++c) {
    name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  }
  return name + (std::get<1>(info.param) == Backend::kReal ? "_real" : "_memory");
}

INSTANTIATE_TEST_SUITE_P(Shared, ScriptTest,
                         ::testing::Combine(::testing::ValuesIn(kSharedCases),
                                            ::testing::ValuesIn(kBackends)),
                         CaseAndBackend);

INSTANTIATE_TEST_SUITE_P(MemoryOnly, ScriptTest,
                         ::testing::Combine(::testing::ValuesIn(kMemoryCases),
                                            ::testing::Values(Backend::kMemory)),
                         CaseAndBackend);

#ifdef _WIN32
// The text of a REGISTRY resource of this program, which carries the
// library's resources.
std::string ScriptResource(int id) {
  HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), "REGISTRY");
  HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  if (!loaded) return "";
  return std::string(static_cast<const char*>(::LockResource(loaded)),
                     ::SizeofResource(nullptr, found));
}
#else
// The text of a REGISTRY resource, read from the file the resource is made of.
std::string ScriptResource(int id) {
  const char* file = id == 101 ? "/resources/appid.rgs" : "/resources/agent.rgs";
  std::ifstream in(std::string(BRISVEL_SOURCE_DIR) + file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
#endif

class ComponentScriptTest : public ::testing::TestWithParam<Backend> {
 protected:
  HRESULT Run(const std::string& text, bool doRegister) { return run_.Run(text, doRegister); }
  CScriptRun run_{GetParam()};
};

// The AppID script and the class script, registered and removed in the
// order registration uses, with the module's path holding an apostrophe.
TEST_P(ComponentScriptTest, RegisterAndRemoveTheComponentsEntries) {
  const std::string appid = ScriptResource(101);
  const std::string agent = ScriptResource(102);
  ASSERT_EQ(119u, appid.size());
  ASSERT_EQ(637u, agent.size());
  const std::string k = kClassKey;
  const std::string id = BRISVEL_APPID_TEXT;
  const std::string clsid = BRISVEL_CLSID_TEXT;
  const std::string p1 = BRISVEL_PROGID;
  const std::string p = BRISVEL_VERSION_INDEPENDENT_PROGID;
  const std::vector<std::string> registered = {
      "AppID", "AppID\\" + id, "AppID\\" + id + "||1|Brisvel", "AppID\\Brisvel.DLL",
      "AppID\\Brisvel.DLL|AppID|1|" + id,
      p1, p1 + "||1|Vintaro Agent", p1 + "\\CLSID", p1 + "\\CLSID||1|" + clsid,
      p, p + "||1|Vintaro Agent", p + "\\CLSID", p + "\\CLSID||1|" + clsid,
      p + "\\CurVer", p + "\\CurVer||1|" + p1,
      "CLSID", k, k + "||1|Vintaro Agent", k + "|AppID|1|" + id,
      k + "\\ProgID", k + "\\ProgID||1|" + p1,
      k + "\\VersionIndependentProgID", k + "\\VersionIndependentProgID||1|" + p,
      k + "\\Programmable", k + "\\InprocServer32", k + "\\InprocServer32||1|C:\\it's\\x.dll",
      k + "\\InprocServer32|ThreadingModel|1|Apartment",
      k + "\\TypeLib", k + "\\TypeLib||1|" BRISVEL_LIBID_TEXT};
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(S_OK, Run(appid, true));
    ASSERT_EQ(S_OK, Run(agent, true));
    EXPECT_EQ(Expected(registered), run_.Dump()) << "round " << round;
  }
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(S_OK, Run(agent, false));
    EXPECT_EQ(S_OK, Run(appid, false));
    EXPECT_EQ(Expected({"AppID", "CLSID"}), run_.Dump()) << "round " << round;
  }
}

TEST_P(ComponentScriptTest, AForeignSubkeyOfTheClassKeyStopsItsRemoval) {
  ASSERT_EQ(S_OK, Run(ScriptResource(102), true));
  ASSERT_EQ(S_OK, Run("HKCR { CLSID { " BRISVEL_CLSID_TEXT " { Foreign } } }", true));
  EXPECT_EQ(kAccessDenied, Run(ScriptResource(102), false));
  EXPECT_EQ(Expected({"CLSID", kClassKey, std::string(kClassKey) + "||1|Vintaro Agent",
                      std::string(kClassKey) + "\\Foreign"}),
            run_.Dump());
}

INSTANTIATE_TEST_SUITE_P(Registries, ComponentScriptTest, ::testing::ValuesIn(kBackends));

// A fixture with the in-memory registry and no variables.
class MemoryScriptTest : public ::testing::Test {
 protected:
  HRESULT Run(const char* text, bool doRegister) {
    RecordScriptSeed(text);
    CScriptParser parser(&registrar_);
    return parser.RunScript(text, doRegister);
  }

  ScopedPlatformCalls platform_;
  CMemoryRegistry registry_;
  CRegistrar registrar_;
};

TEST_F(MemoryScriptTest, EveryRootNameReachesItsOwnRoot) {
  const char script[] =
      "HKCU { A } HKLM { B } HKU { C } HKPD { D } HKDD { E } HKCC { F } "
      "HKEY_CURRENT_USER { G } HKEY_LOCAL_MACHINE { H } HKEY_USERS { I } "
      "HKEY_PERFORMANCE_DATA { J } HKEY_DYN_DATA { K } HKEY_CURRENT_CONFIG { L }";
  ASSERT_EQ(S_OK, Run(script, true));
  EXPECT_EQ(Expected({"A", "G"}), registry_.Dump(HKEY_CURRENT_USER));
  EXPECT_EQ(Expected({"B", "H"}), registry_.Dump(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(Expected({"C", "I"}), registry_.Dump(HKEY_USERS));
  EXPECT_EQ(Expected({"D", "J"}), registry_.Dump(HKEY_PERFORMANCE_DATA));
  EXPECT_EQ(Expected({"E", "K"}), registry_.Dump(HKEY_DYN_DATA));
  EXPECT_EQ(Expected({"F", "L"}), registry_.Dump(HKEY_CURRENT_CONFIG));
  EXPECT_EQ(Expected({}), registry_.Dump(HKEY_CLASSES_ROOT));
  ASSERT_EQ(S_OK, Run(script, false));
  EXPECT_EQ(Expected({}), registry_.Dump(HKEY_LOCAL_MACHINE));
}

ULONG g_numberLeftBehind = 0;

HRESULT WINAPI RefusingNumberParser(OLECHAR*, LCID, ULONG, ULONG* number) {
  *number = g_numberLeftBehind;
  return DISP_E_TYPEMISMATCH;
}

TEST_F(MemoryScriptTest, ANumberTheParserRefusesIsWrittenAsZero) {
  platform_->VarUI4FromStr = RefusingNumberParser;
  for (ULONG leftBehind : {0xDEADBEEFu, 7u}) {
    g_numberLeftBehind = leftBehind;
    ASSERT_EQ(S_OK, Run("HKCR { val n = d 12 }", true));
    EXPECT_EQ(Expected({"|n|4|0"}), registry_.Dump(HKEY_CLASSES_ROOT));
  }
}

void* NoHeap(size_t) { return nullptr; }

int WINAPI NoWideText(UINT, DWORD, LPCCH, int, LPWSTR, int) { return 0; }

TEST_F(MemoryScriptTest, AValueWithoutRoomForItsDataFailsAndIsRolledBack) {
  // Past the 256 bytes of inline storage both as text and as binary data.
  const std::string longText(600, 'a');
  const struct {
    std::string script;
    HRESULT result;
  } cases[] = {
      {"HKCR { Foo { val v = b " + longText + " } }", E_FAIL},
      {"HKCR { Foo { val v = m " + longText + " } }", E_OUTOFMEMORY},
      {"HKCR { Foo { val v = s " + longText + " } }", S_OK},
  };
  platform_->HeapAllocate = NoHeap;
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, Run(c.script.c_str(), true)) << c.script;
    if (FAILED(c.result)) {
      EXPECT_EQ(Expected({}), registry_.Dump(HKEY_CLASSES_ROOT));
    }
  }
}

TEST_F(MemoryScriptTest, ANumberTextThatCannotBeWidenedIsOutOfMemory) {
  platform_->MultiByteToWideChar = NoWideText;
  EXPECT_EQ(E_OUTOFMEMORY, Run("HKCR { Foo = d 1 }", true));
  EXPECT_EQ(Expected({}), registry_.Dump(HKEY_CLASSES_ROOT));
}

TEST_F(MemoryScriptTest, NoTaskMemoryForTheExpansionTouchesNothing) {
  platform_->CoTaskMemAlloc = [](SIZE_T) WINAPI -> LPVOID { return nullptr; };
  EXPECT_EQ(E_OUTOFMEMORY, Run("HKCR { Foo }", true));
  EXPECT_TRUE(registry_.Calls().empty());
}

TEST_F(MemoryScriptTest, ACloseThatFailsEndsTheUnregisterPass) {
  ASSERT_EQ(S_OK, Run("HKCR { Foo { Bar } }", true));
  platform_->RegCloseKey = [](HKEY) WINAPI -> LSTATUS { return ERROR_INVALID_HANDLE; };
  EXPECT_EQ(HRESULT(0x80070006), Run("HKCR { Foo { Bar } }", false));
}

TEST(RegistryKeyTest, HoldsOneHandleAndReportsWhatItCloses) {
  ScopedPlatformCalls platform;
  CMemoryRegistry registry;
  registry.CreateKey(HKEY_CLASSES_ROOT, "A\\B");
  {
    CRegistryKey key;
    EXPECT_EQ(ERROR_SUCCESS, key.CloseKey()) << "nothing held";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.OpenKey(HKEY_CLASSES_ROOT, "Absent", KEY_READ));
    EXPECT_EQ(nullptr, key.Get());
    ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CLASSES_ROOT, "A", KEY_READ));
    const HKEY first = key.Get();
    ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CLASSES_ROOT, "A\\B", KEY_READ));
    EXPECT_NE(first, key.Get());
    EXPECT_EQ(1u, registry.OpenHandleCount()) << "the first handle was closed on adoption";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.OpenKey(HKEY_CLASSES_ROOT, "Absent", KEY_READ));
    EXPECT_EQ(1u, registry.OpenHandleCount()) << "a failed open keeps what is held";
    ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(key.Get(), nullptr, KEY_READ));
    EXPECT_EQ(1u, registry.OpenHandleCount());
  }
  EXPECT_EQ(0u, registry.OpenHandleCount()) << "closed when destroyed";
}

TEST(RegistryKeyTest, DeleteTreeRemovesEverythingBelowAndReportsAnAbsentKey) {
  ScopedPlatformCalls platform;
  CMemoryRegistry registry;
  for (const char* path : {"T\\A\\A1\\A11", "T\\A\\A2", "T\\B", "T\\C\\C1", "Other"}) {
    registry.CreateKey(HKEY_CLASSES_ROOT, path);
  }
  CBorrowedKey root(HKEY_CLASSES_ROOT);
  EXPECT_EQ(ERROR_SUCCESS, root.Key().DeleteTree("T"));
  EXPECT_EQ(Expected({"Other"}), registry.Dump(HKEY_CLASSES_ROOT));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, root.Key().DeleteTree("T"));
  EXPECT_EQ(0u, registry.OpenHandleCount());
}

}  // namespace
