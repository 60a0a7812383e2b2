// brisvel_harvest DLL OUTPUT: registers DLL the way regsvr32 does, but with
// HKEY_CLASSES_ROOT redirected to a private key, and writes what the
// registration left there as the installer's registry entries, with the
// installed file's path in place of DLL's. The package then carries exactly
// what the library's own registration writes, and no second copy of it.
#include <windows.h>

#include <shlwapi.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "server/handle.h"
#include "package/registry_tree.h"

namespace {

// How the package names the installed file and its folder (the template's
// file and directory identifiers, as Windows Installer formatted text).
const char kInstalledFile[] = "[#BrisvelDll]";
const char kInstalledFolder[] = "[INSTALLFOLDER]";

using RegistryTree = std::vector<RegistryKeyRecord>;

// HKEY_CLASSES_ROOT of this process, redirected to a private key while alive.
class ScopedClassesRedirect {
 public:
  ScopedClassesRedirect()
      : path_("Software\\Brisvel Harvest\\" + std::to_string(::GetCurrentProcessId())) {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key_.Receive(), nullptr) == ERROR_SUCCESS) {
      ok_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.Get()) == ERROR_SUCCESS;
    }
  }
  ~ScopedClassesRedirect() {
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    key_.Reset();
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  }
  ScopedClassesRedirect(const ScopedClassesRedirect&) = delete;
  ScopedClassesRedirect& operator=(const ScopedClassesRedirect&) = delete;

  bool ok() const { return ok_; }
  RegistryTree Read() const { return ReadRegistryTree(HKEY_CURRENT_USER, path_); }

 private:
  std::string path_;
  CKeyHandle key_;
  bool ok_ = false;
};

bool Fail(const std::string& message) {
  fprintf(stderr, "brisvel_harvest: %s\n", message.c_str());
  return false;
}

// Calls the library's export `name` (DllRegisterServer or DllUnregisterServer).
bool CallExport(HMODULE library, const char* name) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  // FARPROC is the platform's untyped entry point; the export's own type is known.
  const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
  if (!entry) return Fail(std::string("no export ") + name);
  const HRESULT result = entry();
  char code[16];
  snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  return SUCCEEDED(result) || Fail(std::string(name) + " failed with " + code);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
  return a.name == b.name && a.type == b.type && a.data == b.data;
}

// What `after` holds that `before` did not: new keys with their values, and
// new or changed values of keys that were there.
RegistryTree Changes(const RegistryTree& before, const RegistryTree& after) {
  std::map<std::string, const RegistryKeyRecord*> old;
  for (const RegistryKeyRecord& key : before) old[key.path] = &key;
  RegistryTree changes;
  for (const RegistryKeyRecord& key : after) {
    const auto found = old.find(key.path);
    if (found == old.end()) {
      changes.push_back(key);
      continue;
    }
    RegistryKeyRecord changed{key.path, {}};
    for (const RegistryValue& value : key.values) {
      bool known = false;
      for (const RegistryValue& was : found->second->values) known = known || SameValue(was, value);
      if (!known) changed.values.push_back(value);
    }
    if (!changed.values.empty()) changes.push_back(changed);
  }
  return changes;
}

// The machine's classes, which HKEY_CLASSES_ROOT shows when not redirected.
RegistryTree ReadRealClasses() { return ReadRegistryTree(HKEY_LOCAL_MACHINE, "Software\\Classes"); }

// Registers `dll` and reads back everything the registration wrote below
// the classes root; `modulePath` receives the path the library saw itself at.
// Most of it lands in the private key. Some platform code writes the real
// classes root whatever the redirection says (the component category
// manager, the type library's entries in the 32-bit view of a 64-bit
// system), so the real root is compared before and after as well, and the
// registration is undone there afterwards.
bool Harvest(const std::string& dll, RegistryTree* tree, std::string* modulePath) {
  CLibraryHandle library(::LoadLibraryA(dll.c_str()));
  if (!library) return Fail("cannot load " + dll);
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(library.Get(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Fail("cannot read the module path");
  modulePath->assign(path, length);

  const RegistryTree before = ReadRealClasses();
  ScopedClassesRedirect redirect;
  if (!redirect.ok()) return Fail("cannot redirect HKEY_CLASSES_ROOT");
  if (!CallExport(library.Get(), "DllRegisterServer")) return false;
  *tree = redirect.Read();
  const RegistryTree outside = Changes(before, ReadRealClasses());
  tree->insert(tree->end(), outside.begin(), outside.end());
  if (!CallExport(library.Get(), "DllUnregisterServer")) return false;
  if (!Changes(before, ReadRealClasses()).empty()) {
    fprintf(stderr, "brisvel_harvest: note: unregistering left entries in the prefix\n");
  }
  return true;
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

// `text` as literal Windows Installer formatted text inside an XML attribute.
std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '[': escaped += "[\\[]"; break;
      case ']': escaped += "[\\]]"; break;
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// String data with the build's path of the library replaced by the
// installed one's.
std::string InstalledText(std::string data, const std::string& modulePath) {
  if (!data.empty() && data.back() == '\0') data.pop_back();
  const std::string folder = modulePath.substr(0, modulePath.find_last_of('\\') + 1);
  std::string escaped = Escape(data);
  ReplaceAll(&escaped, Escape(modulePath), kInstalledFile);
  ReplaceAll(&escaped, Escape(folder), kInstalledFolder);
  return escaped;
}

// One value as a RegistryValue element; false for types the package cannot carry.
bool WriteValue(std::ostream& out, const std::string& key, const RegistryValue& value,
                const std::string& modulePath) {
  std::string type;
  std::string data;
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    type = value.type == REG_SZ ? "string" : "expandable";
    data = InstalledText(value.data, modulePath);
  } else if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
    DWORD number;
    memcpy(&number, value.data.data(), sizeof number);
    type = "integer";
    data = std::to_string(number);
  } else {
    return Fail("HKCR\\" + key + " holds a value of type " + std::to_string(value.type) +
                ", which the package does not carry");
  }
  out << "  <RegistryValue Root=\"HKCR\" Key=\"" << Escape(key) << "\"";
  if (!value.name.empty()) out << " Name=\"" << Escape(value.name) << "\"";
  out << " Type=\"" << type << "\" Value=\"" << data << "\"/>\n";
  return true;
}

bool HasSubkeys(const RegistryTree& tree, const std::string& path) {
  for (const RegistryKeyRecord& key : tree) {
    if (StartsWith(key.path, path + "\\")) return true;
  }
  return false;
}

// The tree as a WiX include of registry entries. Keys that hold values come
// with them; a key without values or subkeys is created on its own.
bool WriteInclude(const std::string& output, const RegistryTree& tree,
                  const std::string& modulePath) {
  std::ofstream out(output, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<!-- Written by brisvel_harvest from Brisvel.DLL's own registration. -->\n"
         "<Include>\n";
  for (const RegistryKeyRecord& key : tree) {
    if (key.path.empty()) continue;
    for (const RegistryValue& value : key.values) {
      if (!WriteValue(out, key.path, value, modulePath)) return false;
    }
    if (key.values.empty() && !HasSubkeys(tree, key.path)) {
      // Windows Installer's name "*" with no value creates the key on
      // install and removes it on uninstall.
      out << "  <RegistryValue Root=\"HKCR\" Key=\"" << Escape(key.path)
          << "\" Name=\"*\" Type=\"string\" Value=\"\"/>\n";
    }
  }
  out << "</Include>\n";
  return out.good() || Fail("cannot write " + output);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: brisvel_harvest DLL OUTPUT\n");
    return 2;
  }
  RegistryTree tree;
  std::string modulePath;
  if (!Harvest(argv[1], &tree, &modulePath)) return 1;
  if (tree.size() <= 1) {
    Fail("the registration wrote nothing");
    return 1;
  }
  return WriteInclude(argv[2], tree, modulePath) ? 0 : 1;
}
