#include "support/link_recorder.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <sstream>

#include "support/test_paths.h"

namespace {

void SetString(const char* path, const char* name, const std::string& value) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  ::RegCloseKey(key);
}

}  // namespace

LinkRecorder::LinkRecorder() : output_(UniqueFilePath("launches", ".txt")) {
  ::DeleteFileA(output_.c_str());
  const std::string command =
      "\"" + ProgramDirectory() + "record_link.exe\" \"" + output_ + "\" \"%1\"";
  SetString("ed2k", nullptr, "URL:ed2k Protocol");
  SetString("ed2k", "URL Protocol", "");
  SetString("ed2k\\shell\\open\\command", nullptr, command);
}

LinkRecorder::~LinkRecorder() {
  ::SHDeleteKeyA(HKEY_CLASSES_ROOT, "ed2k");
  ::DeleteFileA(output_.c_str());
}

std::vector<RecordedLaunch> LinkRecorder::Launches() const {
  std::vector<RecordedLaunch> launches;
  std::ifstream file(output_, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    launches.push_back({std::stoi(line.substr(0, tab)), line.substr(tab + 1)});
  }
  return launches;
}

std::vector<RecordedLaunch> LinkRecorder::WaitForLaunches(size_t count, DWORD timeoutMs) const {
  const DWORD start = ::GetTickCount();
  std::vector<RecordedLaunch> launches = Launches();
  while (launches.size() < count && ::GetTickCount() - start < timeoutMs) {
    ::Sleep(50);
    launches = Launches();
  }
  return launches;
}
