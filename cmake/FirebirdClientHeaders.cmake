# The Firebird client's C header (ibase.h) for code that loads the client
# library at run time: it gives the types, constants and entry signatures,
# nothing links against the library. Natively the header is found in the
# system's include folder; the MinGW cross compilers do not search there, so
# the one header is copied into the build tree and offered from there.
if(NOT TARGET fbclient_headers)
  find_file(FIREBIRD_IBASE_H ibase.h PATHS /usr/include /usr/include/firebird NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(fbclient_headers INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    set(_fbinc ${CMAKE_BINARY_DIR}/fbclient-include)
    configure_file(${FIREBIRD_IBASE_H} ${_fbinc}/ibase.h COPYONLY)
    target_include_directories(fbclient_headers SYSTEM INTERFACE ${_fbinc})
  else()
    get_filename_component(_fbinc ${FIREBIRD_IBASE_H} DIRECTORY)
    target_include_directories(fbclient_headers SYSTEM INTERFACE ${_fbinc})
  endif()
endif()

