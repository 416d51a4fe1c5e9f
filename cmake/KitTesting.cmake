# Test registration shared by the three builds.
#
# POSIX: GoogleTest from the system (find_package). Windows: GoogleTest
# compiled from /usr/src/googletest, test programs run under Wine through
# CTest's cross-compiling emulator. The 32-bit Windows build cannot execute
# here: its tests are compiled and linked, never registered.

if(KIT_TESTS AND WIN32)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources do not pass our warning set.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -Wno-error)
  endforeach()
  set(KIT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run ${KIT_WINEPREFIX})
elseif(KIT_TESTS)
  find_package(GTest REQUIRED)
endif()
enable_testing()

# kit_add_gtest(NAME SOURCES... [LIBS libs...])
# One test program; on POSIX each test case is its own CTest entry.
function(kit_add_gtest name)
  if(NOT KIT_TESTS)
    return()
  endif()
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  if(NOT KIT_RUN_TESTS)
    return()
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# kit_add_behaviour(NAME SOURCES...)
# A behaviour suite: a host program (POSIX build only) that runs the real
# programs in temporary installation trees. Registered once against this
# build and, when KIT_WINDOWS_BUILD_DIR is set, once against the 64-bit
# Windows build under Wine; test names end in .posix / .win64.
function(kit_add_behaviour name)
  if(NOT KIT_TESTS OR WIN32)
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kit_harness GTest::gtest)
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_SUFFIX .posix
    EXTRA_ARGS --target=posix --build=${CMAKE_BINARY_DIR})
  if(KIT_WINDOWS_BUILD_DIR)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_SUFFIX .win64
      EXTRA_ARGS --target=win64 --build=${KIT_WINDOWS_BUILD_DIR})
  endif()
endfunction()

# kit_test_library(TARGET FILE_NAME DIR SOURCES...)
# A library for tests and the demo only (stand-ins, probes), built under the
# library's real file name (FILE_NAME.dll / libFILE_NAME.so) into bin/DIR,
# whence a test copies it beside the program it runs.
function(kit_test_library target file_name dir)
  add_library(${target} SHARED ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}
    ${PROJECT_SOURCE_DIR}/platform/${KIT_PLATFORM})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${file_name}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${dir}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${dir}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/${dir})
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_link_options(${target} PRIVATE -static-libgcc)
  endif()
endfunction()
