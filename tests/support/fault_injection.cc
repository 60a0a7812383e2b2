#include "support/fault_injection.h"

CFaultInjector* CFaultInjector::current_ = nullptr;

namespace {

// Books a reallocation: `moved` replaces `block` unless it failed.
void* Moved(std::set<void*>* blocks, void* block, void* moved) {
  if (moved) {
    blocks->erase(block);
    blocks->insert(moved);
  }
  return moved;
}

}  // namespace

CFaultInjector::CFaultInjector() : saved_(g_platform) {
  current_ = this;
  g_platform.HeapAllocate = HeapAllocate;
  g_platform.HeapReallocate = HeapReallocate;
  g_platform.HeapRelease = HeapRelease;
  g_platform.CoTaskMemAlloc = TaskAllocate;
  g_platform.CoTaskMemRealloc = TaskReallocate;
  g_platform.CoTaskMemFree = TaskRelease;
  g_platform.RegOpenKeyExA = OpenKey;
  g_platform.RegCreateKeyExA = CreateKey;
  g_platform.RegSetValueExA = SetValue;
  g_platform.RegDeleteValueA = DeleteValue;
  g_platform.RegDeleteKeyA = DeleteKey;
  g_platform.RegEnumKeyExA = EnumKey;
  g_platform.RegQueryInfoKeyA = QueryInfo;
  g_platform.RegCloseKey = CloseKey;
}

CFaultInjector::~CFaultInjector() {
  g_platform = saved_;
  current_ = nullptr;
}

void CFaultInjector::Arm(Kind kind, int failAt) {
  failingKind_ = kind;
  failAt_ = failAt;
  allocations_ = 0;
  registryCalls_ = 0;
  refused_.clear();
  heapBlocks_.clear();
  taskBlocks_.clear();
  openKeys_.clear();
}

bool CFaultInjector::Refuse(Kind kind, const char* call, const char* subject) {
  const int number = kind == Kind::kAllocation ? ++allocations_ : ++registryCalls_;
  if (kind != failingKind_ || number != failAt_) return false;
  refused_ = std::string(call) + (subject ? std::string(" ") + subject : "");
  return true;
}

void* CFaultInjector::HeapAllocate(size_t bytes) {
  if (current_->Refuse(Kind::kAllocation, "HeapAllocate")) return nullptr;
  void* block = current_->saved_.HeapAllocate(bytes);
  if (block) current_->heapBlocks_.insert(block);
  return block;
}

void* CFaultInjector::HeapReallocate(void* block, size_t bytes) {
  if (current_->Refuse(Kind::kAllocation, "HeapReallocate")) return nullptr;
  return Moved(&current_->heapBlocks_, block, current_->saved_.HeapReallocate(block, bytes));
}

void CFaultInjector::HeapRelease(void* block) {
  current_->heapBlocks_.erase(block);
  current_->saved_.HeapRelease(block);
}

LPVOID WINAPI CFaultInjector::TaskAllocate(SIZE_T bytes) {
  if (current_->Refuse(Kind::kAllocation, "CoTaskMemAlloc")) return nullptr;
  void* block = current_->saved_.CoTaskMemAlloc(bytes);
  if (block) current_->taskBlocks_.insert(block);
  return block;
}

LPVOID WINAPI CFaultInjector::TaskReallocate(LPVOID block, SIZE_T bytes) {
  if (current_->Refuse(Kind::kAllocation, "CoTaskMemRealloc")) return nullptr;
  return Moved(&current_->taskBlocks_, block, current_->saved_.CoTaskMemRealloc(block, bytes));
}

void WINAPI CFaultInjector::TaskRelease(LPVOID block) {
  current_->taskBlocks_.erase(block);
  current_->saved_.CoTaskMemFree(block);
}

LSTATUS WINAPI CFaultInjector::OpenKey(HKEY parent, LPCSTR name, DWORD options, REGSAM access,
                                       PHKEY result) {
  if (current_->Refuse(Kind::kRegistry, "RegOpenKeyExA", name)) return kRegistryFailure;
  const LSTATUS code = current_->saved_.RegOpenKeyExA(parent, name, options, access, result);
  if (code == ERROR_SUCCESS) current_->openKeys_.insert(*result);
  return code;
}

LSTATUS WINAPI CFaultInjector::CreateKey(HKEY parent, LPCSTR name, DWORD reserved,
                                         LPSTR keyClass, DWORD options, REGSAM access,
                                         const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                         LPDWORD disposition) {
  if (current_->Refuse(Kind::kRegistry, "RegCreateKeyExA", name)) return kRegistryFailure;
  const LSTATUS code = current_->saved_.RegCreateKeyExA(parent, name, reserved, keyClass, options,
                                                        access, security, result, disposition);
  if (code == ERROR_SUCCESS) current_->openKeys_.insert(*result);
  return code;
}

LSTATUS WINAPI CFaultInjector::SetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                        const BYTE* data, DWORD size) {
  if (current_->Refuse(Kind::kRegistry, "RegSetValueExA", name)) return kRegistryFailure;
  return current_->saved_.RegSetValueExA(key, name, reserved, type, data, size);
}

LSTATUS WINAPI CFaultInjector::DeleteValue(HKEY key, LPCSTR name) {
  if (current_->Refuse(Kind::kRegistry, "RegDeleteValueA", name)) return kRegistryFailure;
  return current_->saved_.RegDeleteValueA(key, name);
}

LSTATUS WINAPI CFaultInjector::DeleteKey(HKEY parent, LPCSTR name) {
  if (current_->Refuse(Kind::kRegistry, "RegDeleteKeyA", name)) return kRegistryFailure;
  return current_->saved_.RegDeleteKeyA(parent, name);
}

LSTATUS WINAPI CFaultInjector::EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                                       LPDWORD reserved, LPSTR keyClass, LPDWORD classSize,
                                       PFILETIME lastWrite) {
  if (current_->Refuse(Kind::kRegistry, "RegEnumKeyExA")) return kRegistryFailure;
  return current_->saved_.RegEnumKeyExA(key, index, name, nameSize, reserved, keyClass, classSize,
                                        lastWrite);
}

LSTATUS WINAPI CFaultInjector::QueryInfo(HKEY key, LPSTR keyClass, LPDWORD classSize,
                                         LPDWORD reserved, LPDWORD subKeys,
                                         LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                                         LPDWORD values, LPDWORD maxValueNameLength,
                                         LPDWORD maxValueLength, LPDWORD securityDescriptorSize,
                                         PFILETIME lastWrite) {
  if (current_->Refuse(Kind::kRegistry, "RegQueryInfoKeyA")) return kRegistryFailure;
  return current_->saved_.RegQueryInfoKeyA(key, keyClass, classSize, reserved, subKeys,
                                           maxSubKeyLength, maxClassLength, values,
                                           maxValueNameLength, maxValueLength,
                                           securityDescriptorSize, lastWrite);
}

LSTATUS WINAPI CFaultInjector::CloseKey(HKEY key) {
  current_->openKeys_.erase(key);
  return current_->saved_.RegCloseKey(key);
}
