# cmake -DGROFF=<groff> -DPAGES=<page;...> -P check_man_pages.cmake
# Fails unless groff formats each manual page for a terminal, its tables
# through tbl, with every warning on and none given, and the page has its
# title and a NAME section.
cmake_minimum_required(VERSION 3.22)
foreach(page IN LISTS PAGES)
  execute_process(COMMAND ${GROFF} -man -t -ww -Tutf8 -P-cbou ${page}
    OUTPUT_VARIABLE shown ERROR_VARIABLE warnings RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "${page}: groff says (${result}):\n${warnings}")
  endif()
  if(NOT shown MATCHES "NAME\n" OR NOT shown MATCHES "^[^\n]*\\(")
    message(FATAL_ERROR "${page}: no title or NAME section")
  endif()
  message(STATUS "${page}: no warnings")
endforeach()
