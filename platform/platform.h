#pragma once
// The narrow interface through which the kit reaches the operating system.
// Each function has one implementation per backend (win32/, posix/), in a
// file named after its concern; nothing else includes system headers.

#include <cstddef>
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

/// Loads a library by its bare name ("tloxtrc"), never from the current
/// directory. Windows: <name>.dll from the program's own directory, the
/// system directories, then the directories of PATH named in full, each
/// loaded by its full path. POSIX: lib<name>.so from the program's own
/// directory, then the directories of the dynamic linker's search list
/// (run path, LD_LIBRARY_PATH, default directories) named from the root,
/// each loaded by its full path; the linker's cache is not consulted.
/// Null when it cannot be loaded; a name not found is not searched for
/// again.
Library OpenLibrary(const char* bareName);

/// The address of an exported function, or null when it is missing.
Symbol LibrarySymbol(Library library, const char* name);

/// Releases one load of the library.
void CloseLibrary(Library library);

// --- whole-file replacement (replace_file.cpp) ---------------------------

/// Where a replacement failed: at the open (nothing was changed) or while
/// writing (the file holds its old content whole, unless oldContentLost).
enum class ReplaceStage { kOpen, kWrite };

struct ReplaceResult {
  int error = 0;  ///< 0, or the errno value of the failure
  ReplaceStage stage = ReplaceStage::kOpen;
  /// kWrite on the in-place route only: the old content could not be put
  /// back, so the file may hold the new content or part of it.
  bool oldContentLost = false;
  /// On success: the errno value of a failure after the commit (the close
  /// of the file), which changed nothing; 0 when there was none.
  int noted = 0;
};

/// Makes `bytes` the whole content of the file `path` leads to, following
/// a symbolic link at the name only where the caller or an administrator
/// (root; on Windows SYSTEM or Administrators) owns it, and using an
/// existing file only where one of them owns it (EPERM otherwise, at the
/// open). One writer at a time: a regular file is locked before anything
/// is decided (waiting at most 30 seconds, then EBUSY), and a name
/// replaced meanwhile is opened again; termination is held from the lock
/// on (HoldTermination), until the caller releases it.
/// A file that can be replaced keeping everything it had (owner, group,
/// mode, extended attributes; no other name) is replaced safely: a
/// temporary file beside it, flushed to disk, moved over it in one step.
/// Otherwise, and where the name cannot be replaced (a mount on it), the
/// file is written in place, as an open for writing would: the old content
/// kept aside and space reserved first, then the new content with line
/// ends over the rest of the old in one write, a flush, the cut to the new
/// length and a flush again; a failure puts the old content back. FIFOs
/// and devices are only written and, where they can be, flushed. A missing
/// file is created for its owner alone (mode 0600; on Windows a protected
/// DACL for the creator, SYSTEM and Administrators), through a dangling
/// link as well; an existing file keeps its permissions. Bytes are written
/// as they are: the caller supplies the line ends.
ReplaceResult ReplaceFileContent(const char* path, const char* bytes, std::size_t length);

// --- the process's own argument list (command_line.cpp) ------------------

/// Overwrites the characters of argv[index] from `offset` on, and their
/// source in every command-line copy the system keeps for the process, so
/// that process listings no longer show them (Windows: the buffers
/// GetCommandLineA and GetCommandLineW return, and for a 32-bit program on
/// 64-bit Windows the 64-bit process parameters' line), and every copy the
/// C runtimes keep (Windows: msvcrt's and ucrtbase's command lines and
/// their narrow and wide argument arrays, also the one msvcrt made when it
/// was loaded).
void ScrubArgument(char** argv, int index, unsigned offset);

// --- a secret from standard input (secret_line.cpp) ----------------------

/// Reads one line of standard input into `line` (capacity bytes, the
/// terminator included), without its line end (LF or CR LF; a lone CR is
/// part of the line), with the system's unbuffered read (read, ReadFile),
/// one byte at a time, straight into `line`: nothing else holds a copy, and
/// nothing past the line is taken from the input. The end of the input also
/// ends the line; no byte at all gives an empty line. A line of capacity - 1
/// bytes or more fills the buffer and is read no further: a caller whose
/// buffer is one byte larger than the longest line it takes can refuse a
/// longer one instead of cutting it. Where standard input is a
/// terminal (a console on Windows) its echo is off while the line is read,
/// and restored on return, and before the process ends when a signal
/// (Windows: Ctrl+C, Ctrl+Break, closing the console) ends it meanwhile.
/// False when the input cannot be read or the line holds a zero byte, which
/// a terminated text cannot carry.
bool ReadSecretLine(char* line, std::size_t capacity);

// --- profile files (profile.cpp) -----------------------------------------

/// The largest profile read, far above any real one (a few hundred bytes):
/// a file of gigabytes, or one that reads on without end (a link to
/// /proc/self/pagemap, whose size shows as 0), would hold a relay for
/// minutes, and GetPrivateProfileIntA under Wine faults on one of 2 GiB.
inline constexpr std::size_t kProfileLimit = std::size_t{1} << 20;

/// The integer of `key` in `section` of the profile file `path`, as
/// GetPrivateProfileIntA gives it (the POSIX backend reproduces it):
/// `defaultValue` for a missing file, section or key or an empty value,
/// and for a file over kProfileLimit bytes (POSIX: also one that reads on
/// past them before the key is settled).
int ProfileInt(const char* section, const char* key, int defaultValue, const char* path);

// --- event log (event_log.cpp) -------------------------------------------

using EventSource = void*;

/// EVENTLOG_ERROR_TYPE.
inline constexpr uint16_t kEventError = 1;

/// Registers the local event source `name` (RegisterEventSourceA; POSIX:
/// the system log with `name` as its ident). Null when it cannot be had.
EventSource OpenEventSource(const char* name);

/// One entry with category 0, no user and no raw data (ReportEventA; POSIX:
/// the entry syslog(3) would send to /dev/log, user facility, priority err
/// for the error type, the message naming the event number and the
/// insertion strings). True when it was written. On POSIX the send waits
/// at most a second: a log that takes nothing for that long is stalled,
/// and the entry counts as not written.
bool WriteEvent(EventSource source, uint16_t type, uint32_t eventId, uint16_t stringCount,
                const char* const* strings);

/// Releases the event source (DeregisterEventSource; POSIX: nothing held).
void CloseEventSource(EventSource source);

// --- single files (files.cpp) -------------------------------------------

enum class CreateResult { kCreated, kExists, kFailed };

/// Creates `path` empty if, and only if, nothing is there yet (O_CREAT |
/// O_EXCL, CREATE_NEW): never through a symbolic link planted there.
CreateResult CreateExclusive(const char* path);

/// Deletes a file or a link, never a directory (unlink, DeleteFileA).
/// False when nothing was deleted.
bool UnlinkFile(const char* path);

/// True when both paths name the same file: the same device and inode (the
/// same volume and file index on Windows) when both exist, else the same
/// directory, resolved, and the same file name.
bool NamesSameFile(const char* first, const char* second);

/// What a name holds itself: a symbolic link there is never followed.
enum class NameHolds {
  kNothing,      ///< missing: ENOENT, or on POSIX ENOTDIR (a path through a regular file)
  kRegularFile,  ///< a plain file (POSIX S_ISREG; Windows neither a directory nor a link)
  kOther,        ///< a directory, a link, a FIFO, a device, a socket
  kUntestable,   ///< the test failed for another reason (access denied)
};

/// lstat; GetFileAttributesA, which shows a Windows link or junction as a
/// reparse point (Wine shows a Unix link to a file as the file, and one
/// that dangles as missing).
NameHolds WhatNameHolds(const char* path);

// --- termination signals (signals.cpp) -----------------------------------

/// From here on, a request to end the process is held back until
/// ReleaseTermination: on POSIX every signal but those a fault raises
/// (SIGSEGV, SIGBUS, SIGFPE, SIGILL), with SIGXFSZ ignored so that a
/// file-size limit fails the write instead; on Windows Ctrl+C and
/// Ctrl+Break, and closing the console waits.
void HoldTermination();

/// A request held back since HoldTermination takes its normal effect now.
void ReleaseTermination();

}  // namespace platform
