#include "support/memory_registry.h"

#include <string.h>

#include <algorithm>

#include "support/registry_override.h"

CMemoryRegistry* CMemoryRegistry::current_ = nullptr;

namespace {

const struct {
  HKEY handle;
  const char* name;
} kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKCR"},     {HKEY_CURRENT_USER, "HKCU"},    {HKEY_LOCAL_MACHINE, "HKLM"},
    {HKEY_USERS, "HKU"},             {HKEY_PERFORMANCE_DATA, "HKPD"}, {HKEY_CURRENT_CONFIG, "HKCC"},
    {HKEY_DYN_DATA, "HKDD"},
};

const REGSAM kWriteAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Names compare in any case, character by character, so that a trail byte
// is never folded as though it were a letter.
bool SameName(const std::string& left, const std::string& right) {
  const char* a = left.c_str();
  const char* b = right.c_str();
  while (*a && *b) {
    const char* nextA = g_platform.CharNextA(a);
    const char* nextB = g_platform.CharNextA(b);
    if (nextA - a != nextB - b) return false;
    if (nextA - a == 1 ? FoldAscii(*a) != FoldAscii(*b) : memcmp(a, b, nextA - a) != 0) {
      return false;
    }
    a = nextA;
    b = nextB;
  }
  return *a == *b;
}

// The components of a path, split at backslashes that start a character.
std::vector<std::string> SplitPath(const char* path) {
  std::vector<std::string> parts(1);
  for (const char* at = path; at && *at;) {
    const char* next = g_platform.CharNextA(at);
    if (next == at) next = at + 1;
    if (*at == '\\') {
      parts.emplace_back();
    } else {
      parts.back().append(at, next);
    }
    at = next;
  }
  parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
  return parts;
}

const char* CallName(CMemoryRegistry::Call call) {
  switch (call) {
    case CMemoryRegistry::Call::kOpen: return "open";
    case CMemoryRegistry::Call::kCreate: return "create";
    case CMemoryRegistry::Call::kSetValue: return "set";
    case CMemoryRegistry::Call::kDeleteValue: return "deletevalue";
    case CMemoryRegistry::Call::kDeleteKey: return "deletekey";
    case CMemoryRegistry::Call::kEnumKey: return "enum";
    case CMemoryRegistry::Call::kQueryInfo: return "query";
  }
  return "?";
}

}  // namespace

CMemoryRegistry::CMemoryRegistry() : saved_(g_platform) {
  for (const auto& root : kRoots) {
    auto key = std::make_shared<Key>();
    key->path = root.name;
    roots_[root.handle] = {key, KEY_ALL_ACCESS};
  }
  current_ = this;
  g_platform.RegOpenKeyExA = OpenCall;
  g_platform.RegCreateKeyExA = CreateCall;
  g_platform.RegSetValueExA = SetValueCall;
  g_platform.RegDeleteValueA = DeleteValueCall;
  g_platform.RegDeleteKeyA = DeleteKeyCall;
  g_platform.RegEnumKeyExA = EnumKeyCall;
  g_platform.RegQueryInfoKeyA = QueryInfoCall;
  g_platform.RegCloseKey = CloseCall;
}

CMemoryRegistry::~CMemoryRegistry() {
  g_platform.RegOpenKeyExA = saved_.RegOpenKeyExA;
  g_platform.RegCreateKeyExA = saved_.RegCreateKeyExA;
  g_platform.RegSetValueExA = saved_.RegSetValueExA;
  g_platform.RegDeleteValueA = saved_.RegDeleteValueA;
  g_platform.RegDeleteKeyA = saved_.RegDeleteKeyA;
  g_platform.RegEnumKeyExA = saved_.RegEnumKeyExA;
  g_platform.RegQueryInfoKeyA = saved_.RegQueryInfoKeyA;
  g_platform.RegCloseKey = saved_.RegCloseKey;
  current_ = nullptr;
}

void CMemoryRegistry::CreateKey(HKEY root, const std::string& path) {
  Walk(Root(root), path.c_str(), true);
}

void CMemoryRegistry::SetValue(HKEY root, const std::string& path, const std::string& name,
                               DWORD type, const std::string& data) {
  std::shared_ptr<Key> key = Walk(Root(root), path.c_str(), true);
  for (Value& value : key->values) {
    if (SameName(value.name, name)) {
      value = {value.name, type, data};
      return;
    }
  }
  key->values.push_back({name, type, data});
}

void CMemoryRegistry::SetReadOnly(HKEY root, const std::string& path) {
  Walk(Root(root), path.c_str(), true)->readOnly = true;
}

void CMemoryRegistry::Refuse(Call call, LONG code, const std::string& path) {
  refusals_.push_back({call, code, path});
}

std::string CMemoryRegistry::Dump(HKEY root) const {
  std::vector<std::string> lines;
  DumpKey(*Root(root), "", &lines);
  return JoinSortedLines(std::move(lines));
}

void CMemoryRegistry::DumpKey(const Key& key, const std::string& path,
                              std::vector<std::string>* lines) {
  lines->push_back(path);
  for (const Value& value : key.values) {
    lines->push_back(FormatRegistryValue(path, value.name, value.type, value.data));
  }
  for (const auto& subkey : key.subkeys) {
    DumpKey(*subkey, path.empty() ? subkey->name : path + "\\" + subkey->name, lines);
  }
}

std::shared_ptr<CMemoryRegistry::Key> CMemoryRegistry::Root(HKEY root) const {
  auto found = roots_.find(root);
  return found == roots_.end() ? nullptr : found->second.key;
}

const CMemoryRegistry::Handle* CMemoryRegistry::Find(HKEY handle) const {
  auto root = roots_.find(handle);
  if (root != roots_.end()) return &root->second;
  auto found = handles_.find(handle);
  return found == handles_.end() ? nullptr : &found->second;
}

LONG CMemoryRegistry::Begin(Call call, HKEY handle, const char* subkey, const std::string& detail,
                            const Handle** target) {
  *target = Find(handle);
  if (!*target) return ERROR_INVALID_HANDLE;
  if ((*target)->key->deleted) return ERROR_KEY_DELETED;
  const std::string path =
      (*target)->key->path + (subkey && *subkey ? std::string("\\") + subkey : "");
  calls_.push_back(std::string(CallName(call)) + " " + path + detail);
  for (const Refusal& refusal : refusals_) {
    if (refusal.call == call && (refusal.path.empty() || SameName(refusal.path, path))) {
      return refusal.code;
    }
  }
  return ERROR_SUCCESS;
}

std::shared_ptr<CMemoryRegistry::Key> CMemoryRegistry::Walk(std::shared_ptr<Key> key,
                                                            const char* path, bool create) {
  for (const std::string& part : SplitPath(path)) {
    std::shared_ptr<Key> next;
    for (const auto& subkey : key->subkeys) {
      if (SameName(subkey->name, part)) next = subkey;
    }
    if (!next) {
      if (!create) return nullptr;
      next = std::make_shared<Key>();
      next->name = part;
      next->path = key->path + "\\" + part;
      key->subkeys.push_back(next);
    }
    key = next;
  }
  return key;
}

HKEY CMemoryRegistry::NewHandle(std::shared_ptr<Key> key, REGSAM access) {
  HKEY handle = reinterpret_cast<HKEY>(nextHandle_);
  nextHandle_ += 4;
  handles_[handle] = {std::move(key), access};
  return handle;
}

LSTATUS CMemoryRegistry::Open(HKEY parent, LPCSTR name, REGSAM access, PHKEY result) {
  const Handle* from;
  if (LONG code = Begin(Call::kOpen, parent, name, "", &from)) return code;
  std::shared_ptr<Key> key = Walk(from->key, name, false);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (key->readOnly && (access & kWriteAccess)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(key, access);
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::Create(HKEY parent, LPCSTR name, REGSAM access, PHKEY result,
                                LPDWORD disposition) {
  const Handle* from;
  if (LONG code = Begin(Call::kCreate, parent, name, "", &from)) return code;
  std::shared_ptr<Key> key = Walk(from->key, name, false);
  if (disposition) *disposition = key ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  if (!key) {
    if (!(from->access & KEY_CREATE_SUB_KEY) || from->key->readOnly) return ERROR_ACCESS_DENIED;
    key = Walk(from->key, name, true);
  }
  if (key->readOnly && (access & kWriteAccess)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(key, access);
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::SetValueData(HKEY handle, LPCSTR name, DWORD type, const BYTE* data,
                                      DWORD size) {
  const Handle* target;
  const std::string detail = std::string("|") + (name ? name : "");
  if (LONG code = Begin(Call::kSetValue, handle, nullptr, detail, &target)) return code;
  if (!(target->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (Value& value : target->key->values) {
    if (SameName(value.name, name ? name : "")) {
      value.type = type;
      value.data = bytes;
      return ERROR_SUCCESS;
    }
  }
  target->key->values.push_back({name ? name : "", type, bytes});
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::DeleteValue(HKEY handle, LPCSTR name) {
  const Handle* target;
  const std::string detail = std::string("|") + (name ? name : "");
  if (LONG code = Begin(Call::kDeleteValue, handle, nullptr, detail, &target)) return code;
  if (!(target->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::vector<Value>& values = target->key->values;
  for (auto at = values.begin(); at != values.end(); ++at) {
    if (SameName(at->name, name ? name : "")) {
      values.erase(at);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS CMemoryRegistry::DeleteKey(HKEY parent, LPCSTR name) {
  const Handle* from;
  if (LONG code = Begin(Call::kDeleteKey, parent, name, "", &from)) return code;
  const std::vector<std::string> parts = SplitPath(name);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> key = Walk(from->key, name, false);
  if (!key) return ERROR_FILE_NOT_FOUND;
  // As on the platform: a key that still has subkeys, or that may only be
  // read, stays.
  if (!key->subkeys.empty() || key->readOnly) return ERROR_ACCESS_DENIED;
  std::shared_ptr<Key> owner = from->key;
  if (parts.size() > 1) {
    std::string ownerPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) ownerPath += parts[i] + "\\";
    owner = Walk(from->key, ownerPath.c_str(), false);
  }
  auto& siblings = owner->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), key));
  key->deleted = true;
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::EnumKey(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize) {
  const Handle* target;
  const std::string detail = "|" + std::to_string(index);
  if (LONG code = Begin(Call::kEnumKey, handle, nullptr, detail, &target)) return code;
  if (!(target->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  const auto& subkeys = target->key->subkeys;
  if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& found = subkeys[index]->name;
  if (found.size() + 1 > *nameSize) return ERROR_MORE_DATA;
  memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::QueryInfo(HKEY handle, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                   LPDWORD values, LPDWORD maxValueNameLength,
                                   LPDWORD maxValueLength) {
  const Handle* target;
  if (LONG code = Begin(Call::kQueryInfo, handle, nullptr, "", &target)) return code;
  if (!(target->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const Key& key = *target->key;
  DWORD longestKey = 0, longestName = 0, longestData = 0;
  for (const auto& subkey : key.subkeys) {
    longestKey = std::max<DWORD>(longestKey, subkey->name.size());
  }
  for (const Value& value : key.values) {
    longestName = std::max<DWORD>(longestName, value.name.size());
    longestData = std::max<DWORD>(longestData, value.data.size());
  }
  if (subKeys) *subKeys = static_cast<DWORD>(key.subkeys.size());
  if (maxSubKeyLength) *maxSubKeyLength = longestKey;
  if (values) *values = static_cast<DWORD>(key.values.size());
  if (maxValueNameLength) *maxValueNameLength = longestName;
  if (maxValueLength) *maxValueLength = longestData;
  return ERROR_SUCCESS;
}

LSTATUS CMemoryRegistry::Close(HKEY handle) {
  if (roots_.count(handle)) return ERROR_SUCCESS;
  auto found = handles_.find(handle);
  if (found == handles_.end()) return ERROR_INVALID_HANDLE;
  handles_.erase(found);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI CMemoryRegistry::OpenCall(HKEY parent, LPCSTR name, DWORD, REGSAM access,
                                         PHKEY result) {
  return current_->Open(parent, name, access, result);
}

LSTATUS WINAPI CMemoryRegistry::CreateCall(HKEY parent, LPCSTR name, DWORD, LPSTR, DWORD,
                                           REGSAM access, const LPSECURITY_ATTRIBUTES,
                                           PHKEY result, LPDWORD disposition) {
  return current_->Create(parent, name, access, result, disposition);
}

LSTATUS WINAPI CMemoryRegistry::SetValueCall(HKEY key, LPCSTR name, DWORD, DWORD type,
                                             const BYTE* data, DWORD size) {
  return current_->SetValueData(key, name, type, data, size);
}

LSTATUS WINAPI CMemoryRegistry::DeleteValueCall(HKEY key, LPCSTR name) {
  return current_->DeleteValue(key, name);
}

LSTATUS WINAPI CMemoryRegistry::DeleteKeyCall(HKEY parent, LPCSTR name) {
  return current_->DeleteKey(parent, name);
}

LSTATUS WINAPI CMemoryRegistry::EnumKeyCall(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                                            LPDWORD, LPSTR, LPDWORD, PFILETIME) {
  return current_->EnumKey(key, index, name, nameSize);
}

LSTATUS WINAPI CMemoryRegistry::QueryInfoCall(HKEY key, LPSTR, LPDWORD, LPDWORD, LPDWORD subKeys,
                                              LPDWORD maxSubKeyLength, LPDWORD, LPDWORD values,
                                              LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                              LPDWORD, PFILETIME) {
  return current_->QueryInfo(key, subKeys, maxSubKeyLength, values, maxValueNameLength,
                             maxValueLength);
}

LSTATUS WINAPI CMemoryRegistry::CloseCall(HKEY key) { return current_->Close(key); }
