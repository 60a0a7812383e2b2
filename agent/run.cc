// CAgent::Run: which links are handed to the shell, and how.
#include "agent/agent.h"

#include <string.h>

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

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Units of the character at `at`: two for a surrogate pair, one otherwise.
size_t CharacterUnits(const wchar_t* at) {
  return IsHighSurrogate(at[0]) && IsLowSurrogate(at[1]) ? 2 : 1;
}

// A link with half a surrogate pair is malformed: it names no character,
// and no conversion can carry it.
bool HasUnpairedSurrogate(const wchar_t* link, size_t length) {
  for (size_t i = 0; i < length; i += CharacterUnits(link + i)) {
    if (IsHighSurrogate(link[i]) || IsLowSurrogate(link[i])) {
      if (CharacterUnits(link + i) != 2) return true;
    }
  }
  return false;
}

// The UTF-8 bytes of the character of `units` units at `at`; answers their
// count (at most 4).
size_t EncodeUtf8(const wchar_t* at, size_t units, unsigned char* out) {
  const unsigned long point =
      units == 2 ? 0x10000 + ((static_cast<unsigned long>(at[0]) - 0xD800) << 10) +
                       (static_cast<unsigned long>(at[1]) - 0xDC00)
                 : static_cast<unsigned long>(at[0]);
  if (point < 0x80) {
    out[0] = static_cast<unsigned char>(point);
    return 1;
  }
  size_t count = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
  static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (size_t i = count - 1; i > 0; --i) {
    out[i] = static_cast<unsigned char>(0x80 | ((point >> (6 * (count - 1 - i))) & 0x3F));
  }
  out[0] = static_cast<unsigned char>(kLead[count] | (point >> (6 * (count - 1))));
  return count;
}

// Appends the character at `at` as the code page holds it, or, when it has
// no form there, as the percent-encoded bytes of its UTF-8 form (how ed2k
// links carry such names); `out` null only counts. Answers the bytes.
size_t AppendCharacter(const wchar_t* at, size_t units, UINT codePage, char* out) {
  char narrow[16];
  BOOL usedDefault = FALSE;
  const int written = g_platform.WideCharToMultiByte(
      codePage, NarrowingFlags(codePage), at, static_cast<int>(units), narrow, sizeof narrow,
      nullptr, ReportsDefaultCharacter(codePage) ? &usedDefault : nullptr);
  if (written > 0 && !usedDefault) {
    if (out) memcpy(out, narrow, static_cast<size_t>(written));
    return static_cast<size_t>(written);
  }
  static const char kHex[] = "0123456789ABCDEF";
  unsigned char utf8[4];
  const size_t count = EncodeUtf8(at, units, utf8);
  for (size_t i = 0; out && i < count; ++i) {
    out[3 * i] = '%';
    out[3 * i + 1] = kHex[utf8[i] >> 4];
    out[3 * i + 2] = kHex[utf8[i] & 0xF];
  }
  return 3 * count;
}

// Writes `link` into `out` (null: only counts) with every character the code
// page cannot represent escaped; answers the bytes with the terminator, or 0
// when they pass the limit of a conversion.
size_t EscapeUnrepresentable(const wchar_t* link, UINT codePage, char* out) {
  size_t bytes = 0;
  for (const wchar_t* at = link; *at; at += CharacterUnits(at)) {
    bytes += AppendCharacter(at, CharacterUnits(at), codePage, out ? out + bytes : nullptr);
    if (bytes >= kMaxConversionBytes) return 0;
  }
  if (out) out[bytes] = '\0';
  return bytes + 1;
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
  RETURN_HR_IF(E_INVALIDARG, !IsAcceptedLink(URL, length) || HasUnpairedSurrogate(URL, length));

  // No best-fit mapping: it would turn look-alikes such as fullwidth quotes
  // into their ASCII forms after the check above. A link whose characters
  // the code page holds goes as the platform converts it; one with others
  // goes with those escaped.
  ConversionScratch scratch;
  bool lossy = false;
  char* link = NARROW_TEXT(scratch, URL, codePage, &lossy);
  if (lossy) {
    const size_t bytes = EscapeUnrepresentable(URL, codePage, nullptr);
    RETURN_HR_IF(E_OUTOFMEMORY, bytes == 0);
    link = static_cast<char*>(ALLOCATE_SCRATCH(scratch, bytes));
    if (link) EscapeUnrepresentable(URL, codePage, link);
  }
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, link);

  const HINSTANCE shell =
      g_platform.ShellExecuteA(nullptr, "open", link, nullptr, nullptr, SW_SHOWNORMAL);
  return ShellResultToHResult(reinterpret_cast<INT_PTR>(shell));
}
