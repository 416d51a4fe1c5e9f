# cmake -DREADELF=<readelf> -DPROGRAM=<file> -P check_binding.cmake
# Fails unless the program binds every symbol as it starts (BIND_NOW) and
# has its relocated data read-only after that (a GNU_RELRO segment): no
# lazy binding leaves the resolver's saved registers on its stack.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${READELF} -d -l -W ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${PROGRAM}")
endif()
if(NOT dump MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW" AND NOT dump MATCHES "\\(FLAGS_1\\)[^\n]*NOW")
  message(FATAL_ERROR "${PROGRAM} binds its symbols lazily")
endif()
if(NOT dump MATCHES "GNU_RELRO")
  message(FATAL_ERROR "${PROGRAM} has no read-only relocated data")
endif()
message(STATUS "${PROGRAM}: bound at start, full RELRO")
