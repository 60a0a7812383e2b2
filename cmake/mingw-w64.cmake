# Cross toolchain for Windows with Debian's mingw-w64 packages. Each
# architecture's file sets CMAKE_SYSTEM_PROCESSOR and includes this one;
# everything that differs between architectures follows from the processor
# (cmake/architecture.cmake).
set(CMAKE_SYSTEM_NAME Windows)

set(TOOLCHAIN_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The -posix variants carry std::mutex and std::thread, which GoogleTest needs.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(WIDL_EXECUTABLE ${TOOLCHAIN_PREFIX}-widl REQUIRED)

# Everything the C and C++ runtimes need is linked in: the DLL and the test
# programs import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Two builds of one commit give the same bytes, whichever folder they build in.
include(${CMAKE_CURRENT_LIST_DIR}/reproducible.cmake)
