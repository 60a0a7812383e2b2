// The platform headers every part of the library builds on.
#ifndef BRISVEL_SERVER_WIN32_H_
#define BRISVEL_SERVER_WIN32_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>

#endif  // BRISVEL_SERVER_WIN32_H_
