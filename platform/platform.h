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

// --- safe replacement of a file (replace_file.cpp) -----------------------

/// Capacity of a replacement's temporary path: a target path of up to 259
/// characters and the unique suffix the backend appends.
inline constexpr unsigned kReplacementPathCapacity = 272;

/// New content for a file, written to a temporary file in the same
/// directory and moved over the file only once it was written, flushed and
/// closed without error, so a failure leaves the old file as it was.
struct Replacement {
  void* stream;  ///< the temporary file, in text mode (FILE*)
  bool targetExists;
  char tempPath[kReplacementPathCapacity];
};

/// Checks that `target`, when it exists, can be opened for writing, and
/// creates the temporary file beside it (POSIX: mode 0600 for a new file,
/// the old file's mode and owner for a replaced one). 0, or the errno value
/// of the failure; nothing is left behind on failure.
int BeginReplacement(Replacement* replacement, const char* target);

/// Writes `text` in text mode ("\n" is CR LF on Windows); 0 or an errno value.
int WriteReplacement(Replacement* replacement, const char* text);

/// Flushes the temporary file to stable storage, closes it and moves it
/// over `target` (Windows: ReplaceFileA when the target exists, so its
/// security settings stay). 0, or the errno value of the first failure; on
/// failure the temporary file is removed and the target is unchanged.
int CommitReplacement(Replacement* replacement, const char* target);

/// Closes and removes the temporary file after a failed write.
void AbandonReplacement(Replacement* replacement);

// --- the process's own argument list (command_line.cpp) ------------------

/// Overwrites the characters of argv[index] from `offset` on, and their
/// source in every command-line copy the system keeps for the process
/// (Windows: the buffers GetCommandLineA and GetCommandLineW return, and the
/// runtime's copies of them), so that process listings no longer show them.
void ScrubArgument(char** argv, int index, unsigned offset);

// --- profile files (profile.cpp) -----------------------------------------

/// The integer of `key` in `section` of the profile file `path`, as
/// GetPrivateProfileIntA gives it (the POSIX backend reproduces it):
/// `defaultValue` for a missing file, section or key or an empty value.
int ProfileInt(const char* section, const char* key, int defaultValue, const char* path);

// --- event log (event_log.cpp) -------------------------------------------

using EventSource = void*;

/// EVENTLOG_ERROR_TYPE.
inline constexpr uint16_t kEventError = 1;

/// Registers the local event source `name` (RegisterEventSourceA; POSIX:
/// the system log with `name` as its ident). Null when it cannot be had.
EventSource OpenEventSource(const char* name);

/// One entry with category 0, no user and no raw data (ReportEventA; POSIX:
/// syslog(3), priority err for the error type, the message naming the event
/// number and the insertion strings). True when it was written.
bool WriteEvent(EventSource source, uint16_t type, uint32_t eventId, uint16_t stringCount,
                const char* const* strings);

/// Releases the event source (DeregisterEventSource; POSIX: closelog).
void CloseEventSource(EventSource source);

// --- file tests (files.cpp) ----------------------------------------------

/// True only when the existence test (_access, mode 0) fails because the
/// file is missing (ENOENT); false when it exists or cannot be tested.
bool FileMissing(const char* path);

}  // namespace platform
