# Cross toolchain for Windows: MinGW-w64 with POSIX threads (std::thread, std::mutex).
# FPDRIVER_WIN_ARCH picks x86_64 (default) or i686; FPDRIVER_WIN_DEPS names the prefix
# where scripts/windows-deps.sh installed the target's libraries.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT FPDRIVER_WIN_ARCH)
  set(FPDRIVER_WIN_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${FPDRIVER_WIN_ARCH})
set(_triple ${FPDRIVER_WIN_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${FPDRIVER_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs and the DLL carry their C and C++ runtimes, so Windows (and Wine) needs no
# MinGW DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Tests run under Wine. With Wine's 32-bit half installed, the "wine" launcher starts the
# 32-bit loader: 64-bit programs go to the 64-bit loader directly.
if(FPDRIVER_WIN_ARCH STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
