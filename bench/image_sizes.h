// The size of the built library and of the DLLs it imports, as lines of text.
#ifndef BRISVEL_BENCH_IMAGE_SIZES_H_
#define BRISVEL_BENCH_IMAGE_SIZES_H_

#include <windows.h>

#include <string>

// A line with the size of the file of `module` (Brisvel.DLL) and of its
// sections other than debug ones, and one such line per DLL it imports.
std::string DescribeImageSizes(HMODULE module);

#endif  // BRISVEL_BENCH_IMAGE_SIZES_H_
