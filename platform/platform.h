#pragma once
// The narrow interface through which the kit reaches the operating system.
// Each function has one implementation per backend (win32/, posix/), in a
// file named after its concern; nothing else includes system headers.

#include <cstdint>

#include "platform_config.h"

namespace platform {

// --- program and process (process.cpp) -----------------------------------

/// The running program's own file path, with the semantics of
/// GetModuleFileNameA for the program's own module: returns the number of
/// characters written without the terminator, 0 on failure (LastError()
/// then tells why), or `capacity` when the path had to be cut (the buffer
/// then holds a cut, terminated path; callers treat that as a failure).
uint32_t ModulePath(char* buffer, uint32_t capacity);

/// The system error code of the last failed platform call of this thread
/// (GetLastError; errno on POSIX).
uint32_t LastError();

/// The process identifier (_getpid).
int ProcessId();

// --- run-time libraries (library.cpp) ------------------------------------

using Library = void*;
using Symbol = void (*)();

/// Loads a library by its bare name ("tloxtrc"). Windows: LoadLibraryA with
/// the system's search order and default extension. POSIX: lib<name>.so in
/// the program's own directory first, then the system's search path.
/// Null when it cannot be loaded.
Library OpenLibrary(const char* bareName);

/// The address of an exported function, or null when it is missing.
Symbol LibrarySymbol(Library library, const char* name);

/// Releases one load of the library.
void CloseLibrary(Library library);

}  // namespace platform
