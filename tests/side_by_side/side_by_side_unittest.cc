// Both architectures' Brisvel.DLL in one WoW64 prefix, each registered and
// removed with its own architecture's regsvr32 and used by its own cscript
// and client: registered in either order, each host gets an Agent from its
// own DLL; removed in either order, the other architecture's hosts keep
// working until it is removed too, which leaves the registry as it was.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <string>

#include "support/architecture.h"
#include "support/link_recorder.h"
#include "support/process.h"
#include "support/registry_override.h"
#include "support/registry_view.h"
#include "support/test_paths.h"

namespace {

const char kClassGuid[] = "{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}";
const char kInterfaceGuid[] = "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}";
const char kTypeLibVersionKey[] = "TypeLib\\{E37AB8B4-3B73-4CBF-B96F-1BC9E5AADB92}\\1.0";
// What both architectures share: one view of these keys.
const char* const kSharedTops[] = {"Brisvel.Agent", "Brisvel.Agent.1",
                                   "AppID\\{3A8007B1-8884-4458-92F2-266AB1038D34}",
                                   "AppID\\Brisvel.DLL",
                                   "TypeLib\\{E37AB8B4-3B73-4CBF-B96F-1BC9E5AADB92}"};
// What each architecture has in its own view: parent below HKCR, then key.
const char* const kViewKeys[][2] = {
    {"CLSID", kClassGuid}, {"CLSID", kInterfaceGuid}, {"Interface", kInterfaceGuid}};

std::string DumpInView(const Architecture& architecture, const char* parent,
                       const std::string& name) {
  return DumpClassesKeyInView(architecture.registryView, parent, name);
}

std::string WithoutCarriageReturns(const std::string& text) {
  std::string plain;
  for (char c : text) {
    if (c != '\r') plain += c;
  }
  return plain;
}

// One architecture's side: its Brisvel.DLL and client, and its regsvr32 and
// cscript of the prefix.
struct Side {
  const Architecture& architecture;
  std::string folder;

  std::string Dll() const { return folder + "Brisvel.DLL"; }

  DWORD Regsvr32(const std::string& options) const {
    return RunProcess(std::string(architecture.systemFolder) + "regsvr32.exe " + options + " \"" +
                      Dll() + "\"")
        .exitCode;
  }

  // The client's output; empty unless it exited with 0.
  std::string Client(const std::string& arguments) const {
    const ProcessResult result = RunProcess("\"" + folder + "agent_client.exe\" " + arguments);
    EXPECT_EQ(0u, result.exitCode) << architecture.name << ": " << result.output;
    return result.exitCode == 0 ? WithoutCarriageReturns(result.output) : "";
  }

  // cscript's output for a VBScript that creates the Agent and runs `link`.
  std::string Script(const std::string& link) const {
    const std::string path = UniqueFilePath(architecture.name, ".vbs");
    std::ofstream(path, std::ios::binary)
        << "Set agent = CreateObject(\"Brisvel.Agent\")\n"
        << "agent.Run \"" << link << "\"\n"
        << "WScript.Echo \"accepted\"\n";
    const ProcessResult result = RunProcess(std::string(architecture.systemFolder) +
                                            "cscript.exe //nologo \"" + path + "\"");
    ::DeleteFileA(path.c_str());
    return WithoutCarriageReturns(result.output);
  }

  std::string TypeLibEntry() const {
    return ReadClassesString(std::string(kTypeLibVersionKey) + "\\0\\" + architecture.syskindKey,
                             nullptr);
  }
};

const Side& X86() {
  static const Side side{kArchitectures[0], ProgramDirectory() + "x86\\"};
  return side;
}
const Side& X64() {
  static const Side side{kArchitectures[1], ProgramDirectory()};
  return side;
}

std::string Link(const Side& side) {
  return std::string("ed2k://|file|") + side.architecture.name +
         ".iso|1|0123456789ABCDEF0123456789ABCDEF|/";
}

// Every key either registration writes, in every view.
std::string EveryEntry() {
  std::string text;
  for (const char* top : kSharedTops) {
    text += std::string(top) + ":\n" + DumpRegistryTree(HKEY_CLASSES_ROOT, top);
  }
  for (const Side* side : {&X86(), &X64()}) {
    for (const auto& key : kViewKeys) {
      text += std::string(side->architecture.name) + " " + key[0] + "\\" + key[1] + ":\n" +
              DumpInView(side->architecture, key[0], key[1]);
    }
  }
  return text;
}

// The param: true when the 32-bit side goes first.
class SideBySideTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    RemoveEverything();
    before_ = EveryEntry();
  }
  void TearDown() override { RemoveEverything(); }

  static void RemoveEverything() {
    for (const char* top : kSharedTops) ::SHDeleteKeyA(HKEY_CLASSES_ROOT, top);
    for (const Side* side : {&X86(), &X64()}) {
      for (const auto& key : kViewKeys) {
        DeleteClassesKeyInView(side->architecture.registryView, key[0], key[1]);
      }
    }
  }

  const Side& First() const { return GetParam() ? X86() : X64(); }
  const Side& Second() const { return GetParam() ? X64() : X86(); }

  void RegisterBoth() {
    ASSERT_EQ(0u, First().Regsvr32("/s"));
    ASSERT_EQ(0u, Second().Regsvr32("/s"));
  }

  // The side's client and cscript each get an Agent from the side's own DLL.
  void ExpectServed(const Side& side) {
    const std::string module = side.Client("inproc");
    EXPECT_EQ(0, ::lstrcmpiA((side.Dll() + "\n").c_str(), module.c_str()))
        << side.architecture.name << " served by " << module;
    const size_t earlier = recorder_.Launches().size();
    EXPECT_EQ("accepted\n", side.Script(Link(side))) << side.architecture.name;
    const std::vector<RecordedLaunch> launches = recorder_.WaitForLaunches(earlier + 1);
    ASSERT_EQ(earlier + 1, launches.size()) << side.architecture.name;
    EXPECT_EQ(Link(side), launches.back().link);
  }

  std::string before_;
  LinkRecorder recorder_;  // in the prefix's shared HKCR\ed2k, where both cscripts look
};

TEST_P(SideBySideTest, EachArchitecturesHostsGetAnAgentFromTheirOwnDll) {
  RegisterBoth();
  EXPECT_EQ(X86().Dll(), X86().TypeLibEntry());
  EXPECT_EQ(X64().Dll(), X64().TypeLibEntry());
  ExpectServed(X86());
  ExpectServed(X64());
}

TEST_P(SideBySideTest, RemovingOneLeavesTheOthersHostsWorkingAndBothLeaveNothing) {
  RegisterBoth();
  const Side& removed = First();
  const Side& kept = Second();
  std::string shared;
  for (const char* top : kSharedTops) shared += DumpRegistryTree(HKEY_CLASSES_ROOT, top);
  const std::string keptView = DumpInView(kept.architecture, "CLSID", kClassGuid);

  ASSERT_EQ(0u, removed.Regsvr32("/u /s"));
  for (const auto& key : kViewKeys) {
    EXPECT_EQ("(absent)", DumpInView(removed.architecture, key[0], key[1])) << key[0];
    EXPECT_NE("(absent)", DumpInView(kept.architecture, key[0], key[1])) << key[0];
  }
  EXPECT_EQ(keptView, DumpInView(kept.architecture, "CLSID", kClassGuid));
  EXPECT_EQ("(absent)", removed.TypeLibEntry());
  EXPECT_EQ(kept.Dll(), kept.TypeLibEntry());
  for (const char* top : {"Brisvel.Agent", "Brisvel.Agent.1",
                          "AppID\\{3A8007B1-8884-4458-92F2-266AB1038D34}", "AppID\\Brisvel.DLL"}) {
    EXPECT_NE("(absent)", DumpRegistryTree(HKEY_CLASSES_ROOT, top)) << top;
  }
  ExpectServed(kept);

  EXPECT_EQ(0u, removed.Regsvr32("/u /s"));
  ASSERT_EQ(0u, kept.Regsvr32("/u /s"));
  EXPECT_EQ(before_, EveryEntry());
}

INSTANTIATE_TEST_SUITE_P(Orders, SideBySideTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "X86First" : "X64First");
                         });

}  // namespace
