# Test helpers shared by every test folder.
#
# Natively, tests run as they are. In the Windows builds CTest runs each test executable
# through Wine's loader of the build's width (CMAKE_CROSSCOMPILING_EMULATOR) in a Wine prefix of
# the build folder's own and of the same width, which the fixture "wine_env" creates before the
# first test. Tests that open windows also
# get a virtual X display that the same fixture starts and stops.

set(TARNEL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TARNEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

get_filename_component(TARNEL_SCRIPTS_DIR ${CMAKE_CURRENT_LIST_DIR}/../scripts ABSOLUTE)
set(TARNEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Each build folder gets a display number of its own, so that two build folders' test runs never
# share (or stop) each other's virtual display.
string(MD5 build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${build_hash}" 0 3 build_hash)
math(EXPR display_number "100 + 0x${build_hash} % 800" OUTPUT_FORMAT DECIMAL)
set(TARNEL_TEST_DISPLAY ":${display_number}" CACHE STRING "X display the Windows tests use (Xvfb)")

if(WIN32)
  add_test(NAME wine_env_setup
           COMMAND ${TARNEL_SCRIPTS_DIR}/wine-test-env.sh start ${TARNEL_WINE_PREFIX} ${TARNEL_TEST_DISPLAY}
                   ${TARNEL_WINE_ARCH})
  add_test(NAME wine_env_cleanup
           COMMAND ${TARNEL_SCRIPTS_DIR}/wine-test-env.sh stop ${TARNEL_WINE_PREFIX} ${TARNEL_TEST_DISPLAY}
                   ${TARNEL_WINE_ARCH})
  set_tests_properties(wine_env_setup PROPERTIES FIXTURES_SETUP wine_env TIMEOUT 300)
  set_tests_properties(wine_env_cleanup PROPERTIES FIXTURES_CLEANUP wine_env TIMEOUT 60)
endif()

# The environment every Windows test runs in: the private prefix, quiet Wine, the virtual
# display, and the distribution folder on the DLL search path so that tests find
# TarnelFreeImage.dll the way the program does.
function(tarnel_wine_environment out_var)
  set(${out_var}
      "WINEPREFIX=${TARNEL_WINE_PREFIX}"
      "WINEARCH=${TARNEL_WINE_ARCH}"
      "WINEDEBUG=-all"
      "DISPLAY=${TARNEL_TEST_DISPLAY}"
      "WINEPATH=Z:${TARNEL_DIST_DIR}"
      "TARNEL_DIST_DIR=${TARNEL_DIST_DIR}"
      "TARNEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      "TARNEL_BINARY_DIR=${CMAKE_BINARY_DIR}"
      PARENT_SCOPE)
endfunction()

# tarnel_add_test(NAME SOURCES src... [LIBS lib...] [TIMEOUT seconds] [GUI] [NO_GTEST])
#   Builds a test executable and registers it with CTest. GUI tests share one display and so
#   never run at the same time as each other. A GoogleTest executable passes only when it
#   printed its PASSED summary and no FAILED line: Wine can answer 0 for a crashed program.
function(tarnel_add_test name)
  cmake_parse_arguments(T "GUI;NO_GTEST" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${TARNEL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  if(NOT T_NO_GTEST)
    target_link_libraries(${name} PRIVATE gtest gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(NOT T_NO_GTEST)
    set_tests_properties(${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  endif()
  if(WIN32)
    tarnel_wine_environment(env)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" FIXTURES_REQUIRED wine_env)
    if(T_GUI)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display)
    endif()
  else()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
      "TARNEL_SOURCE_DIR=${CMAKE_SOURCE_DIR};TARNEL_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endif()
endfunction()
