# Shared part of the two MinGW-w64 toolchain files.
#
# The compilers must use the posix thread model: the win32-thread ones have
# no std::mutex or std::thread, which GoogleTest (and the tests) need. Debian
# installs both kinds side by side as <triplet>-g++-posix and -win32, the
# plain <triplet>-g++ being whichever the alternatives system points at; other
# systems ship only the plain names. So the -posix names are looked for
# first, then a plain compiler is taken if it reports the posix thread model;
# anything else stops here with a message, not later with a compiler error.
string(REPLACE "_" "-" mingw_package_arch ${CMAKE_SYSTEM_PROCESSOR})
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(driver gcc)
    set(package gcc-mingw-w64-${mingw_package_arch}-posix)
  else()
    set(driver g++)
    set(package g++-mingw-w64-${mingw_package_arch}-posix)
  endif()
  if(CMAKE_${lang}_COMPILER)
    continue()  # given on the command line, or found by an earlier pass
  endif()
  find_program(MINGW_${lang}_COMPILER NAMES ${MINGW_TRIPLET}-${driver}-posix)
  if(NOT MINGW_${lang}_COMPILER)
    find_program(mingw_plain_${lang} NAMES ${MINGW_TRIPLET}-${driver})
    set(thread_model "")
    if(mingw_plain_${lang})
      execute_process(COMMAND ${mingw_plain_${lang}} -v ERROR_VARIABLE version_text OUTPUT_QUIET)
      string(REGEX MATCH "Thread model: ([a-z0-9]+)" unused "${version_text}")
      set(thread_model ${CMAKE_MATCH_1})
    endif()
    if(thread_model STREQUAL "posix")
      set(MINGW_${lang}_COMPILER ${mingw_plain_${lang}} CACHE FILEPATH "" FORCE)
    elseif(mingw_plain_${lang})
      message(FATAL_ERROR
        "${MINGW_TRIPLET}-${driver}-posix was not found, and ${mingw_plain_${lang}} uses the "
        "'${thread_model}' thread model. The win32-thread MinGW-w64 compilers cannot be used: "
        "they lack std::mutex and std::thread, which GoogleTest needs. On Debian, install the "
        "package ${package} (or point CMAKE_${lang}_COMPILER at a posix-thread MinGW-w64 compiler).")
    else()
      message(FATAL_ERROR
        "No MinGW-w64 compiler for ${MINGW_TRIPLET}: neither ${MINGW_TRIPLET}-${driver}-posix nor "
        "${MINGW_TRIPLET}-${driver} was found. On Debian, install the package ${package}; the "
        "win32-thread compilers are not enough (GoogleTest needs std::mutex).")
    endif()
  endif()
  set(CMAKE_${lang}_COMPILER ${MINGW_${lang}_COMPILER})
endforeach()
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
