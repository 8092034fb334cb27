# Cross-builds korve.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${KORVE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_C_COMPILER ${KORVE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_RC_COMPILER ${KORVE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A self-contained korve.exe: the C++ runtime, libgcc and winpthread linked
# in, so that it runs without MinGW's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The licences of the MinGW-w64 runtime that -static links into korve.exe
# (its start-up code, C runtime additions and winpthreads), as Debian's
# package states them: the Windows package carries them beside korve's own.
set(KORVE_RUNTIME_LICENCES /usr/share/doc/mingw-w64-x86-64-dev/copyright)
