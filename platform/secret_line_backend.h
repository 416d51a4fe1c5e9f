#pragma once
// The primitives each backend supplies to the line reading both share
// (secret_line.cpp). Private to the platform layer.

namespace platform::backend {

/// Switches the echo of standard input off where it is a terminal (a
/// console on Windows), with handlers that switch it back on before a
/// signal (Ctrl+C) ends the process; nothing for a pipe or a file.
void HideInputEcho();

/// One byte of standard input into `byte`: 1, 0 at the end of the input,
/// -1 when it cannot be read.
int ReadInputByte(char* byte);

/// The echo as it was before HideInputEcho, and its handlers gone.
void RestoreInputEcho();

}  // namespace platform::backend
