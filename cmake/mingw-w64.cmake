# What both Windows toolchain files share: the mingw-w64 tools of the
# triple in `kit_triple`, with the "posix" thread model (GoogleTest needs
# std::mutex, which the win32 model lacks), and the link flags of
# `kit_extra_link_flags` on top of the common ones.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${kit_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${kit_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${kit_triple}-windres)
set(KIT_WINDMC ${kit_triple}-windmc)
set(CMAKE_DLLTOOL ${kit_triple}-dlltool)
set(CMAKE_OBJDUMP ${kit_triple}-objdump)
set(CMAKE_OBJCOPY ${kit_triple}-objcopy)
set(CMAKE_STRIP ${kit_triple}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${kit_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows binary carries its compiler runtime, so it runs on a bare
# host (and under Wine) with the system DLLs alone, and no link time, so the
# same sources give the same bytes.
set(kit_link_flags
  "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp ${kit_extra_link_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${kit_link_flags})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${kit_link_flags})
