// Where the test programs find the built files: everything is built into one
// folder, so Brisvel.DLL and the handler stand beside each test program.
#ifndef BRISVEL_TESTS_SUPPORT_TEST_PATHS_H_
#define BRISVEL_TESTS_SUPPORT_TEST_PATHS_H_

#include <string>

// The folder of the running program, with its trailing backslash.
std::string ProgramDirectory();

// The built Brisvel.DLL.
std::string BrisvelDllPath();

// A file name in the program's folder that no other test run uses.
std::string UniqueFilePath(const std::string& stem, const std::string& extension);

#endif  // BRISVEL_TESTS_SUPPORT_TEST_PATHS_H_
