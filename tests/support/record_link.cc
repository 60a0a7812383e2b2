// The recording handler: registered for ed2k: by the tests, it appends what
// it received to the file named by its first argument, one line a launch:
// the number of further arguments, a tab, and the first of them.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string line = std::to_string(argc - 2) + "\t" + (argc > 2 ? argv[2] : "") + "\n";
  HANDLE file = ::CreateFileA(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
  return 0;
}
