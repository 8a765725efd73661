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
# Tests run under Wine, through the loader of the build's bitness as
# scripts/wine-loader.sh chooses it (the one place that rule lives; it calls
# the loaders directly, not Debian's "wine" wrapper, which would pick the
# 32-bit loader for 64-bit programs too). WINE_PROGRAM may be set to override.
if(NOT WINE_PROGRAM)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(wine_bits 64)
  else()
    set(wine_bits 32)
  endif()
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-loader.sh ${wine_bits}
    OUTPUT_VARIABLE wine_loader OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE wine_found)
  if(wine_found EQUAL 0)
    set(WINE_PROGRAM ${wine_loader} CACHE FILEPATH "Wine loader that runs the Windows test programs" FORCE)
  else()
    message(STATUS "No ${wine_bits}-bit Wine loader: the Windows test programs cannot run here")
  endif()
endif()
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
# Link zlib into the programs: a payload program must run with no DLL beside it.
set(ZLIB_USE_STATIC_LIBS ON)
