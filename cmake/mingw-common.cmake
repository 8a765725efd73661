# Shared part of the two MinGW-w64 toolchain files. The -posix compilers are
# used because the win32-thread ones lack std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static C/C++ runtime: the programs and libraries need no MinGW DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run under Wine. The 64-bit loader is called directly: Debian's "wine"
# wrapper picks the 32-bit loader whenever wine32 is installed, and that
# loader cannot start on a kernel without 32-bit emulation.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  find_program(WINE_PROGRAM NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
  find_program(WINE_PROGRAM NAMES wine64 wine)
else()
  find_program(WINE_PROGRAM NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(WINE_PROGRAM NAMES wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
# Link zlib into the programs: a payload program must run with no DLL beside it.
set(ZLIB_USE_STATIC_LIBS ON)
