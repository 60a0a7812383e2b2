#include "registrar/replacement_map.h"

#include <string.h>
#include <wchar.h>

#include "server/errors.h"
#include "server/memory.h"
#include "server/platform.h"

namespace {

// Texts this short still start with room for a few expanded paths.
const size_t kSmallTextCapacity = 1000;
const size_t kSmallTextLimit = 100;

template <class T>
T* CopyOf(const T* text, size_t units) {
  T* copy = static_cast<T*>(HeapAllocate(units * sizeof(T)));
  if (copy) memcpy(copy, text, units * sizeof(T));
  return copy;
}

// Grows `array` to `count` entries; false leaves it as it was.
template <class T>
bool GrowTo(T*** array, int count) {
  void* grown = g_platform.HeapReallocate(*array, static_cast<size_t>(count) * sizeof(T*));
  if (!grown) return false;
  *array = static_cast<T**>(grown);
  return true;
}

}  // namespace

bool ReplacementMap::Append(const char* name, const wchar_t* value) {
  if (!name || !value) return false;
  CHeapBlock<char> nameCopy(CopyOf(name, strlen(name) + 1));
  CHeapBlock<wchar_t> valueCopy(CopyOf(value, wcslen(value) + 1));
  if (!nameCopy || !valueCopy) return false;
  if (!GrowTo(&names, count + 1) || !GrowTo(&values, count + 1)) return false;
  names[count] = nameCopy.Detach();
  values[count] = valueCopy.Detach();
  ++count;
  return true;
}

const wchar_t* ReplacementMap::FindValue(const char* name) const {
  for (int i = 0; i < count; ++i) {
    if (g_platform.lstrcmpiA(names[i], name) == 0) return values[i];
  }
  return nullptr;
}

void ReplacementMap::Clear() {
  // Every string and both arrays pass to owners, which free them.
  CHeapBlock<char*> nameArray(names);
  CHeapBlock<wchar_t*> valueArray(values);
  for (int i = 0; i < count; ++i) {
    CHeapBlock<char> name(names[i]);
    CHeapBlock<wchar_t> value(values[i]);
  }
  names = nullptr;
  values = nullptr;
  count = 0;
}

HRESULT ExpandBuffer::Start(size_t textLength) {
  RETURN_HR_IF(E_OUTOFMEMORY, textLength > static_cast<size_t>(-1) / 2);
  const size_t twice = 2 * textLength;
  capacity = twice < kSmallTextLimit ? kSmallTextCapacity : twice;
  data.Reset(static_cast<char*>(g_platform.CoTaskMemAlloc(capacity)));
  RETURN_HR_IF(E_OUTOFMEMORY, !data);
  length = 0;
  data.Get()[0] = '\0';
  return S_OK;
}

HRESULT ExpandBuffer::Append(const char* bytes, size_t size) {
  const size_t limit = static_cast<size_t>(-1);
  RETURN_HR_IF(E_OUTOFMEMORY, size > limit - length - 1);
  const size_t needed = length + size + 1;
  if (needed >= capacity) {
    size_t grown = capacity;
    while (grown <= needed) {
      RETURN_HR_IF(E_OUTOFMEMORY, grown > limit / 2);
      grown *= 2;
    }
    char* moved = static_cast<char*>(g_platform.CoTaskMemRealloc(data.Get(), grown));
    RETURN_HR_IF(E_OUTOFMEMORY, !moved);
    // The old block is gone with the reallocation; only the new one is owned.
    data.Detach();
    data.Reset(moved);
    capacity = grown;
  }
  memcpy(data.Get() + length, bytes, size);
  length += size;
  data.Get()[length] = '\0';
  return S_OK;
}
