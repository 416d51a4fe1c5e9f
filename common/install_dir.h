#pragma once
// The installation directory: two levels above the running program's file
// (C:\App\bin\credseal.exe gives C:\App). Files of the tree's etc directory
// are addressed through JoinEtcPath.

#include <cstddef>

/// Capacity of every path buffer of the kit, terminator included.
inline constexpr unsigned kPathCapacity = 260;

/// ERROR_INVALID_PARAMETER: the result for a path without two separators,
/// a directory that does not fit, or a program path that was cut.
inline constexpr int kInstallDirInvalid = 87;

/// 0 with the directory (no trailing separator) in `buffer`; the system's
/// error code when the program path cannot be had, or when it was cut (87
/// when the system gives no code for that); 87 otherwise. The buffer is
/// left unchanged on every failure.
int GetInstallDir(char* buffer, unsigned capacity);

/// The directory two separators above `programPath`, by the same rules and
/// results as GetInstallDir (0 or 87, buffer unchanged on 87); the part of
/// GetInstallDir that does not ask the system.
int InstallDirOf(const char* programPath, char* buffer, unsigned capacity);

/// Joins the installation directory, the etc part ("\etc\", "/etc/" on
/// POSIX) and `fileName` into `buffer`. True when the whole path fits in
/// `capacity` (terminator included); false leaves the buffer an empty string.
bool JoinEtcPath(char* buffer, std::size_t capacity, const char* installDir, const char* fileName);
