// CRegistrar: the object through which registry scripts run, carrying the
// replacement variables of one run. It lives on its creator's stack, so its
// reference counting counts nothing.
#ifndef BRISVEL_REGISTRAR_REGISTRAR_H_
#define BRISVEL_REGISTRAR_REGISTRAR_H_

#include "registrar/replacement_map.h"
#include "server/memory.h"
#include "server/win32.h"

class CRegistrar : public IUnknown {
 public:
  CRegistrar() = default;
  CRegistrar(const CRegistrar&) = delete;
  CRegistrar& operator=(const CRegistrar&) = delete;

  // E_NOTIMPL for every identifier; hands out nothing.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  // 1 and 0: nothing is counted and nothing is freed.
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Adds the variable `name` (converted to multibyte) with `value`.
  virtual HRESULT STDMETHODCALLTYPE SetReplacement(LPCOLESTR name, LPCOLESTR value);
  // Empties the replacement variables.
  virtual HRESULT STDMETHODCALLTYPE ResetReplacements();

  // Loads the script resource `resourceName` of type `resourceType` from the
  // module file at `modulePath` and runs it in one pass.
  HRESULT RunResourceScript(const wchar_t* modulePath, const char* resourceName,
                            const char* resourceType, bool doRegister);
  // The register and the unregister pass over a numbered script resource.
  HRESULT ApplyResourceScript(const wchar_t* modulePath, UINT resourceId,
                              const wchar_t* resourceType);
  HRESULT RemoveResourceScript(const wchar_t* modulePath, UINT resourceId,
                               const wchar_t* resourceType);

  // Last in the operation table; empties the variables with the map.
  virtual ~CRegistrar() = default;

  // A registrar made by New is given back to the library's heap.
  static void operator delete(void* block) { HeapRelease(block); }

  ReplacementMap replacements;

 private:
  HRESULT RunNumberedScript(const wchar_t* modulePath, UINT resourceId,
                            const wchar_t* resourceType, bool doRegister);
};

#endif  // BRISVEL_REGISTRAR_REGISTRAR_H_
