// The description of one interface for late-bound callers: loaded from its
// type library on first use, kept for the life of the module, with the names
// of its functions cached so that single-name lookups take no lock.
#ifndef BRISVEL_AGENT_TYPE_INFO_HOLDER_H_
#define BRISVEL_AGENT_TYPE_INFO_HOLDER_H_

#include "server/win32.h"

// One function of the description: its name and member id.
struct NameCacheEntry {
  BSTR name;      // owned; null when the function could not be read
  ULONG length;   // SysStringLen of name
  DISPID dispid;  // DISPID_UNKNOWN when the function could not be read
};

// Constant data: a plain aggregate initialised statically, so no constructor
// or destructor ever runs for it; its resources go at module shutdown.
class CTypeInfoHolder {
 public:
  // Loads the description and builds the name cache unless both are there.
  HRESULT EnsureLoaded(LCID locale);
  // Fills nameCache and nameCount from `info`.
  HRESULT BuildNameCache(ITypeInfo* info);
  // IDispatch::GetTypeInfo: the description with one reference for the caller.
  HRESULT CopyTypeInfo(LCID locale, ITypeInfo** out);
  // IDispatch::GetIDsOfNames: one exactly spelled name from the cache, the
  // rest from the description.
  HRESULT MapNames(LPOLESTR* names, UINT count, LCID locale, DISPID* dispids);
  // IDispatch::Invoke: the description calls the member on `instance`.
  HRESULT InvokeMember(IDispatch* instance, DISPID dispid, LCID locale, WORD flags,
                       DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                       UINT* argumentError);
  // The term function: releases the description and the cache of `holder`.
  static void ReleaseTypeInfo(void* holder);

  // The description as published; null until loaded.
  ITypeInfo* LoadedTypeInfo() const { return __atomic_load_n(&typeInfo, __ATOMIC_ACQUIRE); }
  // The name cache as published; null until complete.
  NameCacheEntry* LoadedNameCache() const { return __atomic_load_n(&nameCache, __ATOMIC_ACQUIRE); }

  const GUID* iid;            // the interface described; not owned
  const GUID* libid;          // the library to load; not owned
  WORD versionMajor;          // with versionMinor 0xFFFF and the module's LIBID:
  WORD versionMinor;          //   load the module's own file
  ITypeInfo* typeInfo;        // owns one reference
  NameCacheEntry* nameCache;  // owned array of nameCount entries
  LONG nameCount;
};

// The holder of IAgent's description, shared by every Agent in the process.
extern CTypeInfoHolder g_agentTypeInfo;

#endif  // BRISVEL_AGENT_TYPE_INFO_HOLDER_H_
