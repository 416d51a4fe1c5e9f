# Test registration shared by the three builds.
#
# POSIX: GoogleTest from the system (find_package). Windows: GoogleTest
# compiled from /usr/src/googletest, test programs run under Wine through
# CTest's cross-compiling emulator: wine-run for the 64-bit build,
# wine32-run (Wine's 32-bit loader, natively or through the user-mode
# emulator) for the 32-bit one.
#
# Every test that runs a 32-bit Windows program carries the label wine32,
# so that a machine where none can run (cmake/wine32-route) runs the rest
# with `ctest -LE wine32`.

if(KIT_TESTS AND WIN32)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources do not pass our warning set, and need no debug
  # information, which only slows every test program's link.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -Wno-error -g0)
  endforeach()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kit_wine_runner ${PROJECT_SOURCE_DIR}/cmake/wine32-run)
  else()
    set(kit_wine_runner ${PROJECT_SOURCE_DIR}/cmake/wine-run)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${kit_wine_runner} ${CMAKE_BINARY_DIR}/wineprefix)
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
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set_tests_properties(${name} PROPERTIES LABELS wine32)
    endif()
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# kit_discover_against(NAME SUFFIX FILTER ARGS...)
# Registers the tests of the suite NAME that match the GoogleTest filter
# FILTER once more, named TEST.SUFFIX, with ARGS (the target the harness
# runs) on their command line; labelled wine32 against the 32-bit build.
function(kit_discover_against name suffix filter)
  set(properties "")
  if(suffix MATCHES "^win32")
    set(properties PROPERTIES LABELS wine32)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_SUFFIX .${suffix}
    TEST_FILTER ${filter} EXTRA_ARGS ${ARGN} ${properties})
endfunction()

# kit_add_behaviour(NAME SOURCES... [ONCE FILTER] [STDCALL FILTER])
# A behaviour suite: a host program (POSIX build only) that runs the real
# programs in temporary installation trees. Each test is registered
# against every build whose outcome it can differ on: this build (.posix);
# the 64-bit Windows build under Wine when KIT_WIN64_BUILD_DIR is set
# (.win64); the shipped 32-bit build under 32-bit Wine when
# KIT_WIN32_BUILD_DIR is set (.win32, with __cdecl stand-ins), and again
# with __stdcall stand-ins (.win32-stdcall) for the tests that load one,
# which STDCALL selects. Tests of the harness alone, which ONCE selects,
# run against this build only.
function(kit_add_behaviour name)
  if(NOT KIT_TESTS OR WIN32)
    return()
  endif()
  cmake_parse_arguments(arg "" "ONCE;STDCALL" "" ${ARGN})
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE kit_harness GTest::gtest)
  include(GoogleTest)
  set(every "*")
  if(arg_ONCE)
    set(every "*-${arg_ONCE}")
  endif()
  kit_discover_against(${name} posix "*" --target=posix --build=${CMAKE_BINARY_DIR})
  if(KIT_WIN64_BUILD_DIR)
    kit_discover_against(${name} win64 ${every} --target=win64 --build=${KIT_WIN64_BUILD_DIR})
  endif()
  if(KIT_WIN32_BUILD_DIR)
    kit_discover_against(${name} win32 ${every} --target=win32 --build=${KIT_WIN32_BUILD_DIR})
    if(arg_STDCALL)
      kit_discover_against(${name} win32-stdcall ${arg_STDCALL} --target=win32
        --convention=stdcall --build=${KIT_WIN32_BUILD_DIR})
    endif()
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
