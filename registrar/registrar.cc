#include "registrar/registrar.h"

#include "server/convert.h"
#include "server/errors.h"

STDMETHODIMP CRegistrar::QueryInterface(REFIID, void** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) CRegistrar::AddRef() { return 1; }

STDMETHODIMP_(ULONG) CRegistrar::Release() { return 0; }

HRESULT STDMETHODCALLTYPE CRegistrar::SetReplacement(LPCOLESTR name, LPCOLESTR value) {
  RETURN_HR_IF(E_INVALIDARG, !name || !value);
  ConversionScratch scratch;
  const char* narrow = NARROW_TEXT(scratch, name, GetConversionCodePage(), nullptr);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, narrow);
  RETURN_HR_IF(E_OUTOFMEMORY, !replacements.Append(narrow, value));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRegistrar::ResetReplacements() {
  replacements.Clear();
  return S_OK;
}
