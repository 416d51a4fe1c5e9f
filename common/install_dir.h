#pragma once
// The installation directory: two levels above the running program's file
// (C:\App\bin\credseal.exe gives C:\App). Files of the tree's etc directory
// are addressed through EtcPath.

#include <cstddef>

/// Capacity of every path buffer of the kit, terminator included.
inline constexpr unsigned kPathCapacity = 260;

/// ERROR_INVALID_PARAMETER: the result for a path without two separators,
/// a directory that does not fit, or a program path that was cut.
inline constexpr int kInstallDirInvalid = 87;

/// 0 with the directory (no trailing separator) in `buffer`; the system's
/// error code when the program path cannot be had; 87 otherwise. The buffer
/// is left unchanged on every failure.
int GetInstallDir(char* buffer, unsigned capacity);

/// Joins the installation directory, the etc part ("\etc\", "/etc/" on
/// POSIX) and `fileName` into `buffer`. True when the whole path fits in
/// `capacity` (terminator included); false leaves the buffer an empty string.
bool JoinEtcPath(char* buffer, std::size_t capacity, const char* installDir,
                 const char* fileName);
