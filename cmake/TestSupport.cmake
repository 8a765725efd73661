# GoogleTest for every build. Natively the system's package is used; for the
# MinGW cross builds it is compiled from the sources Debian's googletest
# package installs, with the same static runtime as the product.
include(GoogleTest)

# The private Firebird test server (scripts/fbserver.sh) of this build tree.
set(FBSERVER_ROOT ${CMAKE_BINARY_DIR}/fbserver CACHE PATH "Root folder of the private Firebird test server")
set(FBSERVER_PORT 3051 CACHE STRING "TCP port of the private Firebird test server")
if(CMAKE_CROSSCOMPILING)
  set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# Where the build machine cannot run the programs of a cross build (a kernel
# without 32-bit emulation cannot start the 32-bit Wine loader), the test
# programs are still built, but their cases are not registered: CTest would
# fail listing them. Checks that only read the built files still run.
set(PROJECT_TESTS_CAN_RUN ON)
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/can-run-32bit.sh RESULT_VARIABLE can_run)
  if(NOT can_run EQUAL 0)
    set(PROJECT_TESTS_CAN_RUN OFF)
    message(STATUS "This machine cannot run 32-bit programs: test programs are built but not registered")
  endif()
endif()

# add_project_test(<name> SOURCES ... LIBS ... [LABELS ...] [FIXTURES ...] [ENV ...] [RUN_SERIAL])
# Builds a GoogleTest executable and registers each of its cases with CTest.
# Under Wine the cases are discovered when the tests run, with a generous
# timeout: the first wine process of a run may start Wine's own services.
function(add_project_test name)
  cmake_parse_arguments(T "RUN_SERIAL" "" "SOURCES;LIBS;LABELS;FIXTURES;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(NOT PROJECT_TESTS_CAN_RUN)
    return()
  endif()
  # This CMake's test discovery cannot pass a list as a property value:
  # LABELS and FIXTURES take one value each.
  foreach(opt LABELS FIXTURES)
    list(LENGTH T_${opt} n)
    if(n GREATER 1)
      message(FATAL_ERROR "add_project_test(${name}): ${opt} takes one value, not \"${T_${opt}}\"")
    endif()
  endforeach()
  # A case that hangs fails after a quarter of an hour instead of holding up
  # the whole run (the longest case takes about a minute).
  set(props LABELS "${T_LABELS}" TIMEOUT 900)
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(T_ENV)
    # gtest_discover_tests keeps only the first entry of a list-valued
    # property, so the tests are run through "cmake -E env" instead.
    get_target_property(emulator ${name} CROSSCOMPILING_EMULATOR)
    if(NOT emulator)
      set(emulator "")
    endif()
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${T_ENV} ${emulator})
  endif()
  if(T_RUN_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 90
    PROPERTIES ${props})
endfunction()
