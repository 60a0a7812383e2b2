// Registers the recording handler for ed2k: in this process's view of
// HKEY_CLASSES_ROOT and reads back what it was launched with.
#ifndef BRISVEL_TESTS_SUPPORT_LINK_RECORDER_H_
#define BRISVEL_TESTS_SUPPORT_LINK_RECORDER_H_

#include <windows.h>

#include <string>
#include <vector>

struct RecordedLaunch {
  int argumentCount;  // arguments after the output file; 1 for an honest link
  std::string link;   // the first of them
};

class LinkRecorder {
 public:
  // Writes HKCR\ed2k so that the shell runs record_link.exe for the scheme.
  LinkRecorder();
  ~LinkRecorder();
  LinkRecorder(const LinkRecorder&) = delete;
  LinkRecorder& operator=(const LinkRecorder&) = delete;

  // Waits up to `timeoutMs` for `count` launches and answers what arrived.
  std::vector<RecordedLaunch> WaitForLaunches(size_t count, DWORD timeoutMs = 20000) const;

  // Every launch recorded so far.
  std::vector<RecordedLaunch> Launches() const;

  const std::string& OutputPath() const { return output_; }

 private:
  std::string output_;
};

#endif  // BRISVEL_TESTS_SUPPORT_LINK_RECORDER_H_
