#pragma once
// The credseal command: seals a database password and writes the credential
// line "dsn,user,sealed" to etc/credseal.csv of the installation tree.
// Failures go to the standard error stream, or to the log file named with
// -o, and to the error trace channel; nothing goes to the standard output.

#include "common/trace_channel.h"

/// Exit codes of the command.
inline constexpr int kExitWritten = 0;
inline constexpr int kExitNoInstallDir = 1;
inline constexpr int kExitCreateFailed = 2;
inline constexpr int kExitWriteFailed = 4;
inline constexpr int kExitInvalidParameter = 22;
inline constexpr int kExitSealFailed = 100;

/// Writes the two usage lines to the standard error stream.
void PrintUsage();

/// Replaces the content of `path` with `text`, without a line end: 0 when
/// written, 2 when the file cannot be opened, 4 when writing or closing it
/// failed.
int WriteLogFile(const char* path, const char* text);

/// The whole command over the program's own argument list; returns the exit
/// code. The password is -p's value, whose characters in `argv` are
/// overwritten once copied, or with -i one line of standard input.
int CredsealMain(int argc, char** argv);
