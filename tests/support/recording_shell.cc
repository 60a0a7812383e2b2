#include "support/recording_shell.h"

std::vector<ShellCall> g_shellCalls;
INT_PTR g_shellAnswer = 42;

namespace {

std::string Text(LPCSTR text) { return text ? text : "(null)"; }

}  // namespace

bool ShellCall::IsPlainOpen() const {
  return windowNull && verb == "open" && parametersNull && directoryNull && show == SW_SHOWNORMAL;
}

void ResetShellRecord() {
  g_shellCalls.clear();
  g_shellAnswer = 42;
}

std::vector<std::string> RecordedShellFiles() {
  std::vector<std::string> files;
  for (const ShellCall& call : g_shellCalls) files.push_back(call.file);
  return files;
}

HINSTANCE WINAPI RecordingShell(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                LPCSTR directory, INT show) {
  g_shellCalls.push_back(
      {window == nullptr, Text(verb), Text(file), parameters == nullptr, directory == nullptr, show});
  return reinterpret_cast<HINSTANCE>(g_shellAnswer);
}
