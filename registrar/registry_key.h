// CRegistryKey: the owner of one open registry key, and the registry
// operations the script interpreter and the category registration make on it.
#ifndef BRISVEL_REGISTRAR_REGISTRY_KEY_H_
#define BRISVEL_REGISTRAR_REGISTRY_KEY_H_

#include <stddef.h>

#include "server/handle.h"
#include "server/win32.h"

// Every operation answers a Win32 code, 0 for success.
class CRegistryKey {
 public:
  CRegistryKey() = default;
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  // Opens `name` below `parent` (null: a second handle to `parent`) and holds it.
  LONG OpenKey(HKEY parent, const char* name, REGSAM access);

  // Opens or creates `name` below `parent` for reading and writing, and holds it.
  LONG CreateKey(HKEY parent, const char* name);

  // Closes the held handle, if any, and forgets it.
  LONG CloseKey();

  // Writes `text` with its terminator as a value of `type` (null name: the default value).
  LONG WriteString(const char* name, const char* text, DWORD type);

  // Writes `number` as a REG_DWORD value.
  LONG WriteDword(const char* name, DWORD number);

  // Writes the strings of `data` up to and including its first empty one.
  LONG WriteMultiString(const char* name, const char* data);

  // Writes `size` bytes as a REG_BINARY value.
  LONG WriteBinary(const char* name, const void* bytes, size_t size);

  // Removes the value `name` of the held key.
  LONG DeleteValue(const char* name);

  // Removes the subkey `name`, which must have no subkeys of its own.
  LONG DeleteKey(const char* name);

  // Removes the subkey `name` with everything below it.
  LONG DeleteTree(const char* name);

  // Wraps a handle owned elsewhere; Detach must let go of it before destruction.
  void Attach(HKEY borrowed) { handle.Reset(borrowed); }
  HKEY Detach() { return handle.Detach(); }

  HKEY Get() const { return handle.Get(); }

 private:
  // Takes `key` in place of the held handle; answers the code of closing that.
  LONG Adopt(HKEY key);

  CKeyHandle handle;
};

// Lends a handle owned elsewhere to a CRegistryKey for one scope.
class CBorrowedKey {
 public:
  explicit CBorrowedKey(HKEY borrowed) { key_.Attach(borrowed); }
  ~CBorrowedKey() { key_.Detach(); }
  CBorrowedKey(const CBorrowedKey&) = delete;
  CBorrowedKey& operator=(const CBorrowedKey&) = delete;

  CRegistryKey& Key() { return key_; }

 private:
  CRegistryKey key_;
};

#endif  // BRISVEL_REGISTRAR_REGISTRY_KEY_H_
