# Cross build for x86_64 Windows with the mingw-w64 "posix" thread model
# (GoogleTest needs std::mutex, which the win32 model lacks).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(KIT_WINDMC ${triple}-windmc)
set(CMAKE_DLLTOOL ${triple}-dlltool)
set(CMAKE_OBJDUMP ${triple}-objdump)
set(CMAKE_OBJCOPY ${triple}-objcopy)
set(CMAKE_STRIP ${triple}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows binary carries its compiler runtime, so it runs on a bare
# host (and under Wine) with the system DLLs alone, and no link time, so the
# same sources give the same bytes.
set(kit_link_flags "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${kit_link_flags})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${kit_link_flags})
