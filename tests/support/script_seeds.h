// Keeps the script texts the registrar's tests run as seeds for the fuzz
// targets: when BRISVEL_SCRIPT_SEEDS names a folder, each text is written
// there once, as a file named after its contents. Otherwise nothing happens.
#ifndef BRISVEL_TESTS_SUPPORT_SCRIPT_SEEDS_H_
#define BRISVEL_TESTS_SUPPORT_SCRIPT_SEEDS_H_

#include <string>

// Writes `text` into the seed folder, if there is one.
void RecordScriptSeed(const std::string& text);

#endif  // BRISVEL_TESTS_SUPPORT_SCRIPT_SEEDS_H_
