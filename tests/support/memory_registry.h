// A registry of the test's own, installed in place of the platform's
// registry calls for the life of one object: a tree of keys with values
// below the predefined roots, handles with the access they were opened with,
// read-only keys, and calls that can be made to fail with a chosen code.
#ifndef BRISVEL_TESTS_SUPPORT_MEMORY_REGISTRY_H_
#define BRISVEL_TESTS_SUPPORT_MEMORY_REGISTRY_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/platform.h"

class CMemoryRegistry {
 public:
  enum class Call { kOpen, kCreate, kSetValue, kDeleteValue, kDeleteKey, kEnumKey, kQueryInfo };

  // Installs the registry in g_platform; one at a time.
  CMemoryRegistry();
  // Puts the calls that were in force back.
  ~CMemoryRegistry();
  CMemoryRegistry(const CMemoryRegistry&) = delete;
  CMemoryRegistry& operator=(const CMemoryRegistry&) = delete;

  // Creates `path` ("A\\B") below `root` with every key on the way.
  void CreateKey(HKEY root, const std::string& path);
  // Writes a value of `path` (created as needed); an empty name is the default value.
  void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::string& data);
  // Makes `path` open only for reading: writing to it and deleting it are refused.
  void SetReadOnly(HKEY root, const std::string& path);

  // Makes every `call` on the key `path` ("HKCR\\A"; empty: any key) answer `code`.
  void Refuse(Call call, LONG code, const std::string& path = "");

  // Everything below `root` in the form DumpRegistryTree gives.
  std::string Dump(HKEY root) const;

  // Handles opened and not yet closed.
  size_t OpenHandleCount() const { return handles_.size(); }

  // Every call made, as "verb path" lines ("open HKCR\\A", "set HKCR\\A|name").
  const std::vector<std::string>& Calls() const { return calls_; }

 private:
  struct Value {
    std::string name;
    DWORD type;
    std::string data;
  };
  struct Key {
    std::string name;
    std::string path;  // from the root's short name, "HKCR\\A\\B"
    std::vector<std::shared_ptr<Key>> subkeys;
    std::vector<Value> values;
    bool readOnly = false;
    bool deleted = false;
  };
  struct Handle {
    std::shared_ptr<Key> key;
    REGSAM access;
  };
  struct Refusal {
    Call call;
    LONG code;
    std::string path;
  };

  static CMemoryRegistry* current_;

  // The key of `handle` with the access it grants; null for an unknown handle.
  const Handle* Find(HKEY handle) const;
  std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const char* path, bool create);
  std::shared_ptr<Key> Root(HKEY root) const;
  // Finds `handle`, logs the call on it (or on its `subkey`) and answers a
  // refusal or a bad handle; 0 to go on with `target`.
  LONG Begin(Call call, HKEY handle, const char* subkey, const std::string& detail,
             const Handle** target);
  HKEY NewHandle(std::shared_ptr<Key> key, REGSAM access);
  static void DumpKey(const Key& key, const std::string& path, std::vector<std::string>* lines);

  LSTATUS Open(HKEY parent, LPCSTR name, REGSAM access, PHKEY result);
  LSTATUS Create(HKEY parent, LPCSTR name, REGSAM access, PHKEY result, LPDWORD disposition);
  LSTATUS SetValueData(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size);
  LSTATUS DeleteValue(HKEY key, LPCSTR name);
  LSTATUS DeleteKey(HKEY parent, LPCSTR name);
  LSTATUS EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize);
  LSTATUS QueryInfo(HKEY key, LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD values,
                    LPDWORD maxValueNameLength, LPDWORD maxValueLength);
  LSTATUS Close(HKEY key);

  static LSTATUS WINAPI OpenCall(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
  static LSTATUS WINAPI CreateCall(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                   const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
  static LSTATUS WINAPI SetValueCall(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
  static LSTATUS WINAPI DeleteValueCall(HKEY, LPCSTR);
  static LSTATUS WINAPI DeleteKeyCall(HKEY, LPCSTR);
  static LSTATUS WINAPI EnumKeyCall(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD,
                                    PFILETIME);
  static LSTATUS WINAPI QueryInfoCall(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                                      LPDWORD, LPDWORD, LPDWORD, LPDWORD, PFILETIME);
  static LSTATUS WINAPI CloseCall(HKEY);

  PlatformCalls saved_;
  std::map<HKEY, Handle> roots_;
  std::map<HKEY, Handle> handles_;
  std::vector<Refusal> refusals_;
  std::vector<std::string> calls_;
  uintptr_t nextHandle_ = 0x1000;
};

#endif  // BRISVEL_TESTS_SUPPORT_MEMORY_REGISTRY_H_
