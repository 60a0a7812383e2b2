# What the target architecture decides, one row per architecture, chosen by
# the toolchain's processor. Nothing else in the build names an architecture.
#   BRISVEL_ARCH            the manifests' processorArchitecture
#   BRISVEL_WIDL_MODE       widl's pointer size
#   BRISVEL_WINE_DLL_FOLDER Wine's folder of this architecture's DLLs (stdole2.tlb)
#   BRISVEL_WINEARCH        the architecture of the build's Wine prefix
#   BRISVEL_STDCALL_DECORATED  exports' symbols carry @N (the argument bytes)
#   BRISVEL_SYMBOL_PREFIX   what the linker's names of C symbols begin with
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(BRISVEL_ARCH x86)
  set(BRISVEL_WIDL_MODE -m32)
  set(BRISVEL_WINE_DLL_FOLDER i386-windows)
  set(BRISVEL_WINEARCH win32)
  set(BRISVEL_STDCALL_DECORATED ON)
  set(BRISVEL_SYMBOL_PREFIX _)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(BRISVEL_ARCH amd64)
  set(BRISVEL_WIDL_MODE -m64)
  set(BRISVEL_WINE_DLL_FOLDER x86_64-windows)
  set(BRISVEL_WINEARCH win64)
  set(BRISVEL_STDCALL_DECORATED OFF)
  set(BRISVEL_SYMBOL_PREFIX "")
else()
  message(FATAL_ERROR "no Brisvel build for processor ${CMAKE_SYSTEM_PROCESSOR}")
endif()

# BUILD/wine-run PREFIX PROGRAM [ARGS...] runs a program in a prefix of the
# build's architecture, for the tests and for the scripts. Every program
# built here runs in the build's own prefix.
set(BRISVEL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
file(CONFIGURE OUTPUT ${BRISVEL_WINE_RUN} @ONLY CONTENT
  "#!/bin/sh\nWINEARCH=@BRISVEL_WINEARCH@ exec \"@CMAKE_SOURCE_DIR@/scripts/wine-run\" \"$@\"\n")
file(CHMOD ${BRISVEL_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(BRISVEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${BRISVEL_WINE_RUN} ${BRISVEL_WINEPREFIX})
