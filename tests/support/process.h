// Runs another program of the prefix (regsvr32, cscript), or a thread of
// this one, and waits for it.
#ifndef BRISVEL_TESTS_SUPPORT_PROCESS_H_
#define BRISVEL_TESTS_SUPPORT_PROCESS_H_

#include <windows.h>

#include <string>

struct ProcessResult {
  DWORD exitCode;  // 0xFFFFFFFF when the program did not start or end in time
  std::string output;  // what it wrote to standard output and error
};

// Runs `commandLine`, its output into a file of ours, for at most `timeoutMs`.
ProcessResult RunProcess(const std::string& commandLine, DWORD timeoutMs = 60000);

// Runs `start(argument)` on a thread of its own and answers its exit code;
// 0xFFFFFFFF when the thread did not start or end within `timeoutMs`.
DWORD RunThreadToEnd(LPTHREAD_START_ROUTINE start, void* argument, DWORD timeoutMs);

#endif  // BRISVEL_TESTS_SUPPORT_PROCESS_H_
