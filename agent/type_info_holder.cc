#include "agent/type_info_holder.h"

#include <string.h>

#include <type_traits>

#include "server/convert.h"
#include "server/critical_section.h"
#include "server/errors.h"
#include "server/handle.h"
#include "server/memory.h"
#include "server/module.h"
#include "server/platform.h"
#include "server/type_block.h"

// A constructor would run in the runtime's start-up code, possibly after an
// earlier static object has already made a dispatch call.
static_assert(std::is_trivial<CTypeInfoHolder>::value &&
                  std::is_standard_layout<CTypeInfoHolder>::value,
              "the holder must be plain data initialised statically");

namespace {

bool LoadsOwnFile(const CTypeInfoHolder& holder) {
  return ::IsEqualGUID(*holder.libid, g_moduleLibid) && holder.versionMajor == 0xFFFF &&
         holder.versionMinor == 0xFFFF;
}

HRESULT LoadOwnFile(ITypeLib** library) {
  char path[MAX_PATH];
  const DWORD length = g_platform.GetModuleFileNameA(g_moduleInstance.handle, path, MAX_PATH);
  // A name that fills the buffer may have been cut off.
  RETURN_HR_IF(E_FAIL, length == 0 || length == MAX_PATH);
  ConversionScratch scratch;
  wchar_t* name = WIDEN_TEXT(scratch, path, GetConversionCodePage());
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, name);
  return ::LoadTypeLib(name, library);
}

HRESULT LoadLibraryOf(const CTypeInfoHolder& holder, LCID locale, ITypeLib** library) {
  if (LoadsOwnFile(holder)) return LoadOwnFile(library);
  return ::LoadRegTypeLib(*holder.libid, holder.versionMajor, holder.versionMinor, locale, library);
}

// The description as its ITypeInfo2 side answers for ITypeInfo, when it has
// one; the description as found otherwise. Carries one reference.
CInterfacePtr<ITypeInfo> PreferredTypeInfo(ITypeInfo* found) {
  found->AddRef();
  CInterfacePtr<ITypeInfo> kept(found);
  CInterfacePtr<ITypeInfo2> second;
  if (FAILED(found->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(second.Receive())))) {
    return kept;
  }
  ITypeInfo* answered = nullptr;
  if (SUCCEEDED(second.Get()->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&answered)))) {
    kept.Reset(answered);
  }
  return kept;
}

// Loads the library, finds the description and publishes it; called with the
// module critical section held and the description not yet there.
HRESULT LoadDescription(CTypeInfoHolder* holder, LCID locale) {
  CInterfacePtr<ITypeLib> library;
  RETURN_IF_FAILED(LoadLibraryOf(*holder, locale, library.Receive()));
  CInterfacePtr<ITypeInfo> found;
  const HRESULT result = library.Get()->GetTypeInfoOfGuid(*holder->iid, found.Receive());
  RETURN_IF_FAILED(result);
  __atomic_store_n(&holder->typeInfo, PreferredTypeInfo(found.Get()).Detach(), __ATOMIC_RELEASE);
  // Without the term function the description merely stays until the process
  // ends, so a failure here does not fail the call.
  RegisterTermFunction(g_currentModule, CTypeInfoHolder::ReleaseTypeInfo, holder);
  return result;
}

// S_OK once the description is there; the load's failure otherwise.
HRESULT EnsureDescription(CTypeInfoHolder* holder, LCID locale) {
  if (holder->LoadedTypeInfo() && holder->LoadedNameCache()) return S_OK;
  const HRESULT result = holder->EnsureLoaded(locale);
  return holder->LoadedTypeInfo() ? S_OK : result;
}

// The one owner of a name cache that is not (or no longer) published: frees
// every entry's name and the array when the scope ends.
class CNameCache {
 public:
  CNameCache(NameCacheEntry* entries, LONG count) : entries_(entries), count_(count) {}
  ~CNameCache() {
    if (!entries_) return;
    for (LONG i = 0; i < count_; ++i) CBstr name(entries_[i].name);
    HeapRelease(entries_);
  }
  CNameCache(const CNameCache&) = delete;
  CNameCache& operator=(const CNameCache&) = delete;

  NameCacheEntry* Get() const { return entries_; }
  NameCacheEntry* Detach() {
    NameCacheEntry* entries = entries_;
    entries_ = nullptr;
    return entries;
  }

 private:
  NameCacheEntry* entries_;
  LONG count_;
};

NameCacheEntry* NewNameCache(LONG count) {
  auto* entries = static_cast<NameCacheEntry*>(HeapAllocate(count * sizeof(NameCacheEntry)));
  if (!entries) return nullptr;
  for (LONG i = 0; i < count; ++i) entries[i] = {nullptr, 0, DISPID_UNKNOWN};
  return entries;
}

// Leaves `entry` as it is when the function or its name cannot be read.
void ReadNameCacheEntry(ITypeInfo* info, UINT index, NameCacheEntry* entry) {
  CFunctionDescription function(info);
  if (FAILED(info->GetFuncDesc(index, function.Receive()))) return;
  CBstr name;
  if (FAILED(info->GetDocumentation(function->memid, name.Receive(), nullptr, nullptr, nullptr))) {
    return;
  }
  entry->length = ::SysStringLen(name.Get());
  entry->dispid = function->memid;
  entry->name = name.Detach();
}

const NameCacheEntry* FindCachedName(const NameCacheEntry* cache, LONG count, const wchar_t* name) {
  const ULONG length = static_cast<ULONG>(::lstrlenW(name));
  // Newest index first, so that of two functions of one name the later wins.
  for (LONG i = count - 1; i >= 0; --i) {
    const NameCacheEntry& entry = cache[i];
    // An entry that could not be read has no name; it must not answer an
    // empty one.
    if (!entry.name || entry.length != length) continue;
    if (memcmp(entry.name, name, length * sizeof(wchar_t)) == 0) return &entry;
  }
  return nullptr;
}

}  // namespace

HRESULT CTypeInfoHolder::EnsureLoaded(LCID locale) {
  if (LoadedTypeInfo() && LoadedNameCache()) return S_OK;
  // The whole load runs under the lock, so concurrent first callers wait for
  // one load instead of each reading the library.
  CCriticalSectionLock lock(&g_currentModule->criticalSection);
  HRESULT result = S_OK;
  if (!typeInfo) result = LoadDescription(this, locale);
  if (typeInfo && !nameCache) BuildNameCache(typeInfo);
  return result;
}

HRESULT CTypeInfoHolder::BuildNameCache(ITypeInfo* info) {
  CTypeAttributes attributes(info);
  // Without attributes there is no cache, and names resolve through the
  // description's own lookup.
  if (FAILED(info->GetTypeAttr(attributes.Receive()))) return S_OK;
  nameCount = attributes->cFuncs;
  // A description without functions gets no array, and so never a cache.
  CNameCache entries(nameCount != 0 ? NewNameCache(nameCount) : nullptr, nameCount);
  RETURN_HR_IF(E_OUTOFMEMORY, nameCount != 0 && !entries.Get());
  for (LONG i = 0; i < nameCount; ++i) ReadNameCacheEntry(info, i, &entries.Get()[i]);
  // Published last, so that a reader that sees the cache sees it complete.
  __atomic_store_n(&nameCache, entries.Detach(), __ATOMIC_RELEASE);
  return S_OK;
}

HRESULT CTypeInfoHolder::CopyTypeInfo(LCID locale, ITypeInfo** out) {
  RETURN_HR_IF(E_POINTER, out == nullptr);
  // A missing name cache does not matter to this caller.
  const HRESULT result = LoadedTypeInfo() ? S_OK : EnsureLoaded(locale);
  ITypeInfo* info = LoadedTypeInfo();
  *out = info;
  RETURN_HR_IF(result, info == nullptr);
  info->AddRef();
  return S_OK;
}

HRESULT CTypeInfoHolder::MapNames(LPOLESTR* names, UINT count, LCID locale, DISPID* dispids) {
  RETURN_IF_FAILED(EnsureDescription(this, locale));
  const NameCacheEntry* cache = LoadedNameCache();
  if (cache && count == 1) {
    if (const NameCacheEntry* entry = FindCachedName(cache, nameCount, names[0])) {
      dispids[0] = entry->dispid;
      return S_OK;
    }
  }
  return LoadedTypeInfo()->GetIDsOfNames(names, count, dispids);
}

HRESULT CTypeInfoHolder::InvokeMember(IDispatch* instance, DISPID dispid, LCID locale, WORD flags,
                                      DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                      UINT* argumentError) {
  RETURN_IF_FAILED(EnsureDescription(this, locale));
  return LoadedTypeInfo()->Invoke(instance, dispid, flags, parameters, result, exception,
                                  argumentError);
}

void CTypeInfoHolder::ReleaseTypeInfo(void* argument) {
  auto* holder = static_cast<CTypeInfoHolder*>(argument);
  if (!holder) return;
  // Each is taken out of the holder before it goes, so nothing its release
  // runs can find it; the description goes first.
  {
    CInterfacePtr<ITypeInfo> info(holder->typeInfo);
    holder->typeInfo = nullptr;
  }
  CNameCache cache(holder->nameCache, holder->nameCount);
  holder->nameCache = nullptr;
}
