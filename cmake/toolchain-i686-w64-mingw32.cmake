# Cross build for i686 Windows with mingw-w64: the shipped programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(kit_triple i686-w64-mingw32)
# No structured exception handlers (the compiler unwinds with DWARF tables,
# and the runtime installs none): NO_SEH tells the system that a handler
# found on the stack is not the program's.
set(kit_extra_link_flags -Wl,--no-seh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
