# What the shipped Windows programs carry beyond their code: the manifest
# and version information, the event log's message table in evtrelay.exe,
# and their debug information split off into a file of its own. On POSIX,
# the way they are linked.

# The resource scripts are compiled without the targets' include paths:
# windres hands its -I options to a shell unquoted, so a build folder
# whose path holds "&" would cut the command there. The scripts need none:
# they name their files by full path or beside themselves.
if(WIN32)
  set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_RC_COMPILER> -O coff <DEFINES> <FLAGS> <SOURCE> <OBJECT>")
endif()

# kit_shipped_program(TARGET DESCRIPTION)
# Manifest (packaging/program.manifest), file and product version from
# PROJECT_VERSION, product and company name, original file name and
# description, in an .rc file configured for the target (configured rather
# than passed with -D, whose string quotes windres loses). After each link
# the debug information moves to TARGET.exe.debug beside the program, which
# is stripped and names that file in its .gnu_debuglink section; both keep
# the link's zero time stamp (binutils would write the current time).
#
# POSIX: every symbol bound as the program starts and the table of their
# addresses read-only from then on (full RELRO, as hardened distributions
# link). A symbol bound lazily is bound at its first call, by a resolver
# that saves the vector registers on the stack, where whatever they held
# (a piece of the password just copied) stays behind. Windows binds its
# imports as the program is loaded. A test (TARGET_binding) reads the flags.
function(kit_shipped_program target description)
  if(NOT WIN32)
    target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
    if(KIT_TESTS AND CMAKE_READELF)
      add_test(NAME ${target}_binding
        COMMAND ${CMAKE_COMMAND} -DREADELF=${CMAKE_READELF} -DPROGRAM=$<TARGET_FILE:${target}>
          -P ${PROJECT_SOURCE_DIR}/cmake/check_binding.cmake)
    endif()
    return()
  endif()
  set(KIT_FILE_STEM ${target})
  set(KIT_FILE_NAME ${target}.exe)
  set(KIT_FILE_DESCRIPTION ${description})
  set(KIT_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/program.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_program.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${KIT_MANIFEST})
  target_sources(${target} PRIVATE ${rc})

  set(exe $<TARGET_FILE_NAME:${target}>)
  set(fixed_time ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${fixed_time} ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${fixed_time} ${CMAKE_STRIP} --strip-all ${exe}
    COMMAND ${fixed_time} ${CMAKE_OBJCOPY} --add-gnu-debuglink=${exe}.debug ${exe}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Debug information of ${target} into ${exe}.debug"
    VERBATIM)
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
    COMMENT "Message table ${name}"
    VERBATIM)
  set_source_files_properties(${out}/${name}.rc PROPERTIES OBJECT_DEPENDS ${out}/MSG00409.bin)
  target_sources(${target} PRIVATE ${out}/${name}.rc ${out}/${name}.h)
  target_include_directories(${target} PRIVATE ${out})
endfunction()
