// The replacement variables of one script run, and the buffer an expansion
// of %NAME% references is built in.
#ifndef BRISVEL_REGISTRAR_REPLACEMENT_MAP_H_
#define BRISVEL_REGISTRAR_REPLACEMENT_MAP_H_

#include <stddef.h>

#include "server/handle.h"
#include "server/win32.h"

// Name/value pairs in the order they were added; every string a private heap copy.
struct ReplacementMap {
  ReplacementMap() = default;
  ReplacementMap(const ReplacementMap&) = delete;
  ReplacementMap& operator=(const ReplacementMap&) = delete;
  ~ReplacementMap() { Clear(); }

  // Adds a pair; false (and the map unchanged) for a null pointer or no memory.
  bool Append(const char* name, const wchar_t* value);

  // The value of the first pair named `name` in any case; null when none is.
  const wchar_t* FindValue(const char* name) const;

  // Frees every pair and both arrays.
  void Clear();

  char** names = nullptr;
  wchar_t** values = nullptr;
  int count = 0;
};

// The text of an expansion while it grows: task memory, NUL-terminated
// after every append.
struct ExpandBuffer {
  // Allocates room for the expansion of a text of `textLength` bytes.
  HRESULT Start(size_t textLength);

  // Appends `size` bytes, doubling the capacity as needed.
  HRESULT Append(const char* bytes, size_t size);

  size_t length = 0;
  size_t capacity = 0;
  CTaskMem<char> data;
};

#endif  // BRISVEL_REGISTRAR_REPLACEMENT_MAP_H_
