// The platform headers every part of the library builds on. A native build
// (the registry-script language under the sanitizers and the fuzzer) gets
// the small stand-in of server/platform_stand_in.h instead.
#ifndef BRISVEL_SERVER_WIN32_H_
#define BRISVEL_SERVER_WIN32_H_

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>
#else
#include "server/platform_stand_in.h"
#endif

#endif  // BRISVEL_SERVER_WIN32_H_
