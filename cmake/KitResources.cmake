# Windows resources of the shipped files: version information, and the
# event log's message table in evtrelay.exe. Nothing on POSIX.

# kit_version_resource(TARGET DESCRIPTION)
# File and product version from PROJECT_VERSION, product and company name,
# original file name and description, in an .rc file configured for the
# target (configured rather than passed with -D, whose string quotes windres
# loses).
function(kit_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(KIT_FILE_TYPE VFT_APP)
    set(suffix .exe)
  else()
    set(KIT_FILE_TYPE VFT_DLL)
    set(suffix .dll)
  endif()
  get_target_property(stem ${target} OUTPUT_NAME)
  if(NOT stem)
    set(stem ${target})
  endif()
  set(KIT_FILE_STEM ${stem})
  set(KIT_FILE_NAME ${stem}${suffix})
  set(KIT_FILE_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# kit_message_table(TARGET MC_FILE)
# The message table compiled from MC_FILE with windmc -c (the customer bit,
# as event identifiers carry it), linked into TARGET; its generated header,
# NAME.h, is on the target's include path.
function(kit_message_table target mc)
  if(NOT WIN32)
    return()
  endif()
  get_filename_component(name ${mc} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_messages)
  # The .rc names the table's binary, which CMake does not see as an input.
  set(outputs ${out}/${name}.rc ${out}/${name}.h ${out}/MSG00409.bin)
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${KIT_WINDMC} -c -h ${out} -r ${out} ${mc}
    DEPENDS ${mc}
    COMMENT "Message table ${name}")
  set_source_files_properties(${out}/${name}.rc PROPERTIES OBJECT_DEPENDS ${out}/MSG00409.bin)
  target_sources(${target} PRIVATE ${out}/${name}.rc ${out}/${name}.h)
  target_include_directories(${target} PRIVATE ${out})
endfunction()
