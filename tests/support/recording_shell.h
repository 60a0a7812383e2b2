// A shell of the tests' own, for ShellExecuteA in the platform table of the
// internal tests: it writes down every call and answers what the test chose.
#ifndef BRISVEL_TESTS_SUPPORT_RECORDING_SHELL_H_
#define BRISVEL_TESTS_SUPPORT_RECORDING_SHELL_H_

#include <windows.h>

#include <string>
#include <vector>

// One call the shell received; a null text is written down as "(null)".
struct ShellCall {
  bool windowNull;
  std::string verb;
  std::string file;
  bool parametersNull;
  bool directoryNull;
  INT show;

  // The call Run makes: verb "open", no window, parameters or directory,
  // shown normally.
  bool IsPlainOpen() const;
};

// Every call since the last ResetShellRecord, oldest first.
extern std::vector<ShellCall> g_shellCalls;
// What the shell answers; 42 (a success) after ResetShellRecord.
extern INT_PTR g_shellAnswer;

// Forgets the calls and answers 42 again.
void ResetShellRecord();

// The files of the recorded calls, oldest first.
std::vector<std::string> RecordedShellFiles();

// The recording ShellExecuteA.
HINSTANCE WINAPI RecordingShell(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                LPCSTR directory, INT show);

#endif  // BRISVEL_TESTS_SUPPORT_RECORDING_SHELL_H_
