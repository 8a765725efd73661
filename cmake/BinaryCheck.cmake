# Tests that read a built file: what a library or program exports, with which
# names and (on i686 Windows) calling convention, and what it imports. Both
# functions register one test that runs binary-check.sh on the file; the
# tests carry the label "exportcheck" and the LABELS given.
#
# add_pe_check(NAME <test> FILE <file or generator expression>
#              [EXPORTS <name>...] [EXACT_EXPORTS]
#              [CDECL <name>...] [STDCALL <name>=<argument bytes>...]
#              [IMPORTS <dll>:<name>...]
#              [IMPORTS_ONLY_SYSTEM_DLLS] [ALLOWED_DLLS <dll>...]
#              [IMPORT_LIBRARY <file>]
#              [LABELS <label>...])
#   EXPORTS         names the file exports, exactly so (no _ or @n)
#   EXACT_EXPORTS   ... and it exports nothing else (not even by ordinal)
#   CDECL, STDCALL  exports whose every return, on i686, is a plain "ret"
#                   (the caller removes the arguments) or "ret $<bytes>"
#   IMPORTS         entries the file imports from a DLL, by name
#   IMPORTS_ONLY_SYSTEM_DLLS, ALLOWED_DLLS
#                   the DLLs it may import from: those every Windows has
#                   and/or the ones listed (given neither, any)
#   IMPORT_LIBRARY  its import library offers every export; on i686 with the
#                   @<bytes> decoration of STDCALL, the argument sizes a
#                   caller that links to it is compiled against
#
# The updater program, for one, runs on its own from any folder:
#   add_pe_check(NAME updater.imports FILE $<TARGET_FILE:Updater_Tamber> IMPORTS_ONLY_SYSTEM_DLLS)
#
# add_elf_check(NAME <test> FILE <file> [EXPORTS <name>... [EXACT_EXPORTS]] [NO_RUNPATH]
#               [LABELS <label>...])
#   EXPORTS         the shared object's dynamic symbol table defines them as
#                   functions
#   EXACT_EXPORTS   ... and nothing else
#   NO_RUNPATH      the file carries no RUNPATH or RPATH: it finds its
#                   libraries through the system's search only, none in a
#                   build folder, so it runs copied to any folder
set(BINARY_CHECK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/binary-check.sh CACHE INTERNAL "")

# Sets args to the script's arguments for the list options of the calling
# check: each <OPTION>:<flag> pair puts "<flag> <value>" for every value of
# C_<OPTION>.
macro(binary_check_arguments)
  set(args)
  foreach(pair ${ARGN})
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 option)
    list(GET pair 1 flag)
    foreach(value IN LISTS C_${option})
      list(APPEND args ${flag} ${value})
    endforeach()
  endforeach()
endmacro()

function(add_pe_check)
  cmake_parse_arguments(C "EXACT_EXPORTS;IMPORTS_ONLY_SYSTEM_DLLS" "NAME;FILE;IMPORT_LIBRARY"
    "EXPORTS;CDECL;STDCALL;IMPORTS;ALLOWED_DLLS;LABELS" ${ARGN})
  if(NOT C_NAME OR NOT C_FILE OR C_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_pe_check(NAME <test> FILE <file> ...): \"${ARGN}\"")
  endif()
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "add_pe_check(${C_NAME}): no objdump for ${CMAKE_SYSTEM_PROCESSOR} Windows files")
  endif()
  binary_check_arguments(EXPORTS:--export CDECL:--cdecl STDCALL:--stdcall IMPORTS:--import ALLOWED_DLLS:--allow-dll)
  if(C_EXACT_EXPORTS)
    list(APPEND args --exact-exports)
  endif()
  if(C_IMPORTS_ONLY_SYSTEM_DLLS)
    list(APPEND args --system-dlls)
  endif()
  if(C_IMPORT_LIBRARY)
    list(APPEND args --import-library ${C_IMPORT_LIBRARY})
  endif()
  add_test(NAME ${C_NAME} COMMAND bash ${BINARY_CHECK_SCRIPT} pe ${CMAKE_OBJDUMP} ${C_FILE} ${args})
  set(labels exportcheck ${C_LABELS})
  set_tests_properties(${C_NAME} PROPERTIES LABELS "${labels}")
endfunction()

function(add_elf_check)
  cmake_parse_arguments(C "EXACT_EXPORTS;NO_RUNPATH" "NAME;FILE" "EXPORTS;LABELS" ${ARGN})
  if(NOT C_NAME OR NOT C_FILE OR NOT (C_EXPORTS OR C_NO_RUNPATH) OR (C_EXACT_EXPORTS AND NOT C_EXPORTS)
     OR C_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
      "add_elf_check(NAME <test> FILE <file> [EXPORTS <name>... [EXACT_EXPORTS]] [NO_RUNPATH] ...): \"${ARGN}\"")
  endif()
  binary_check_arguments(EXPORTS:--export)
  if(C_EXACT_EXPORTS)
    list(APPEND args --exact-exports)
  endif()
  if(C_NO_RUNPATH)
    if(NOT CMAKE_READELF)
      message(FATAL_ERROR "add_elf_check(${C_NAME}): NO_RUNPATH needs readelf")
    endif()
    list(APPEND args --no-runpath ${CMAKE_READELF})
  endif()
  add_test(NAME ${C_NAME} COMMAND bash ${BINARY_CHECK_SCRIPT} elf ${CMAKE_NM} ${C_FILE} ${args})
  set(labels exportcheck ${C_LABELS})
  set_tests_properties(${C_NAME} PROPERTIES LABELS "${labels}")
endfunction()
