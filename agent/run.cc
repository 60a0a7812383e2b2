// CAgent::Run: which links are handed to the shell, and how.
#include "agent/agent.h"

#include "server/convert.h"
#include "server/errors.h"
#include "server/platform.h"

namespace {

const wchar_t kScheme[] = L"ed2k:";
const size_t kSchemeLength = 5;

wchar_t FoldAsciiUpper(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') ? static_cast<wchar_t>(unit + (L'a' - L'A')) : unit;
}

bool StartsWithScheme(const wchar_t* text) {
  for (size_t i = 0; i < kSchemeLength; ++i) {
    if (FoldAsciiUpper(text[i]) != kScheme[i]) return false;
  }
  return true;
}

// A double quote inside the link would close the handler's quoted "%1" and
// let the rest of the link become further arguments on its command line.
// Only a closing quote as the last unit of a link that opened with one stays.
bool HasInteriorQuote(const wchar_t* link, size_t length) {
  const bool opened = link[0] == L'"';
  for (size_t i = 1; i < length; ++i) {
    if (link[i] != L'"') continue;
    if (!(opened && i == length - 1)) return true;
  }
  return false;
}

size_t UnitsBeforeNul(const wchar_t* text) {
  size_t length = 0;
  while (text[length]) ++length;
  return length;
}

}  // namespace

bool IsAcceptedLink(const wchar_t* link, size_t length) {
  const bool plain = length >= kSchemeLength + 1 && StartsWithScheme(link);
  const bool quoted =
      !plain && length >= kSchemeLength + 2 && link[0] == L'"' && StartsWithScheme(link + 1);
  return (plain || quoted) && !HasInteriorQuote(link, length);
}

HRESULT ShellResultToHResult(INT_PTR shellResult) {
  const int result = static_cast<int>(shellResult);
  if (result > 32) return S_OK;
  if (result == 0) return E_FAIL;
  if (result < 0) return static_cast<HRESULT>(result);
  return HResultFromWin32(result);
}

STDMETHODIMP CAgent::Run(BSTR URL) {
  // Settled first, so the first call decides the process-wide code page even
  // when it is then refused.
  const UINT codePage = GetConversionCodePage();
  RETURN_HR_IF(E_POINTER, URL == nullptr);
  const size_t length = UnitsBeforeNul(URL);
  RETURN_HR_IF(E_INVALIDARG, !IsAcceptedLink(URL, length));

  // Best-fit mapping would turn look-alikes such as fullwidth quotes into
  // their ASCII forms after the check above; unrepresentable characters
  // become the code page's default character instead. UTF-8 and UTF-7 take
  // no flags and have nothing to best-fit.
  const DWORD flags = (codePage == CP_UTF8 || codePage == CP_UTF7) ? 0 : WC_NO_BEST_FIT_CHARS;
  // Two bytes a unit hold any double-byte code page; code pages with longer
  // characters are asked for the size they need.
  size_t bytes = ScratchBytes(length);
  const int needed =
      g_platform.WideCharToMultiByte(codePage, flags, URL, -1, nullptr, 0, nullptr, nullptr);
  if (needed > 0 && static_cast<size_t>(needed) > bytes) bytes = static_cast<size_t>(needed);
  RETURN_HR_IF(E_OUTOFMEMORY, bytes > 0x7FFFFFFF);

  ConversionScratch scratch;
  char* link = WideToMultiByte(static_cast<char*>(ALLOCATE_SCRATCH(scratch, bytes)), URL,
                               static_cast<int>(bytes), codePage, flags);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, link);

  const HINSTANCE shell =
      g_platform.ShellExecuteA(nullptr, "open", link, nullptr, nullptr, SW_SHOWNORMAL);
  return ShellResultToHResult(reinterpret_cast<INT_PTR>(shell));
}
