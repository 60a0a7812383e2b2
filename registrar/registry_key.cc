#include "registrar/registry_key.h"

#include <string.h>

#include "server/platform.h"

namespace {

// Subkey names are enumerated into a buffer of this size; a longer name ends
// the enumeration and leaves its key in place.
const DWORD kSubkeyNameBytes = 256;

LONG SetValue(HKEY key, const char* name, DWORD type, const void* data, size_t size) {
  return g_platform.RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                   static_cast<DWORD>(size));
}

}  // namespace

LONG CRegistryKey::Adopt(HKEY key) {
  LONG code = ERROR_SUCCESS;
  // The close result is reported, so the handle is closed here rather than
  // by the owner's Reset, which discards it.
  if (HKEY previous = handle.Detach()) code = g_platform.RegCloseKey(previous);
  handle.Reset(key);
  return code;
}

LONG CRegistryKey::OpenKey(HKEY parent, const char* name, REGSAM access) {
  HKEY key = nullptr;
  const LONG code = g_platform.RegOpenKeyExA(parent, name, 0, access, &key);
  if (code != ERROR_SUCCESS) return code;
  return Adopt(key);
}

LONG CRegistryKey::CreateKey(HKEY parent, const char* name) {
  HKEY key = nullptr;
  const LONG code = g_platform.RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (code != ERROR_SUCCESS) return code;
  return Adopt(key);
}

LONG CRegistryKey::CloseKey() {
  HKEY key = handle.Detach();
  return key ? g_platform.RegCloseKey(key) : ERROR_SUCCESS;
}

LONG CRegistryKey::WriteString(const char* name, const char* text, DWORD type) {
  return SetValue(Get(), name, type, text, strlen(text) + 1);
}

LONG CRegistryKey::WriteDword(const char* name, DWORD number) {
  const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                         static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
  return SetValue(Get(), name, REG_DWORD, bytes, sizeof bytes);
}

LONG CRegistryKey::WriteMultiString(const char* name, const char* data) {
  size_t size = 0;
  for (const char* text = data;;) {
    const size_t bytes = strlen(text) + 1;
    size += bytes;
    if (bytes == 1) break;
    text += bytes;
  }
  return SetValue(Get(), name, REG_MULTI_SZ, data, size);
}

LONG CRegistryKey::WriteBinary(const char* name, const void* bytes, size_t size) {
  return SetValue(Get(), name, REG_BINARY, bytes, size);
}

LONG CRegistryKey::DeleteValue(const char* name) { return g_platform.RegDeleteValueA(Get(), name); }

LONG CRegistryKey::DeleteKey(const char* name) { return g_platform.RegDeleteKeyA(Get(), name); }

LONG CRegistryKey::DeleteTree(const char* name) {
  CRegistryKey key;
  LONG code = key.OpenKey(Get(), name, KEY_READ | KEY_WRITE);
  if (code != ERROR_SUCCESS) return code;
  // Each deletion moves the next remaining subkey to index 0.
  for (;;) {
    char subkey[kSubkeyNameBytes];
    DWORD size = kSubkeyNameBytes;
    if (g_platform.RegEnumKeyExA(key.Get(), 0, subkey, &size, nullptr, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS) {
      break;
    }
    code = key.DeleteTree(subkey);
    if (code != ERROR_SUCCESS) return code;
  }
  key.CloseKey();
  return DeleteKey(name);
}
