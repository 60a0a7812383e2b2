#include "support/type_library.h"

#include <string>

#include "support/test_paths.h"

namespace {

std::wstring WidePath(const std::string& path) {
  return std::wstring(path.begin(), path.end());  // the build folder is plain ASCII
}

}  // namespace

HRESULT LoadBrisvelTypeLibrary(ITypeLib** library) {
  return ::LoadTypeLibEx(WidePath(BrisvelDllPath()).c_str(), REGKIND_NONE, library);
}

HRESULT RegisterBrisvelTypeLibrary() {
  ITypeLib* library = nullptr;
  HRESULT result = LoadBrisvelTypeLibrary(&library);
  if (FAILED(result)) return result;
  std::wstring path = WidePath(BrisvelDllPath());
  result = ::RegisterTypeLib(library, &path[0], nullptr);
  library->Release();
  return result;
}
