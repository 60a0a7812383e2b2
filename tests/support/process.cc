#include "support/process.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "support/test_paths.h"

ProcessResult RunProcess(const std::string& commandLine, DWORD timeoutMs) {
  ProcessResult result = {0xFFFFFFFF, ""};
  const std::string outputPath = UniqueFilePath("process-output", ".txt");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = ::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return result;

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(output);
  if (started) {
    if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    } else {
      ::TerminateProcess(process.hProcess, 0xFFFFFFFF);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  std::ifstream file(outputPath, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  result.output = text.str();
  file.close();
  ::DeleteFileA(outputPath.c_str());
  return result;
}

DWORD RunThreadToEnd(LPTHREAD_START_ROUTINE start, void* argument, DWORD timeoutMs) {
  HANDLE thread = ::CreateThread(nullptr, 0, start, argument, 0, nullptr);
  if (!thread) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  if (::WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0) ::GetExitCodeThread(thread, &code);
  ::CloseHandle(thread);
  return code;
}
