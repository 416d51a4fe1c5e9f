#pragma once

/// Windows paths: "\" is the only separator the kit looks for.
inline constexpr char kPathSeparator = '\\';

/// The end of a line in a text file, as text mode writes "\n".
inline constexpr char kLineEnd[] = "\r\n";

/// 32-bit Windows knows __cdecl and __stdcall exports under the same names:
/// calls into outside libraries go through the thunk (foreign_call.h).
inline constexpr bool kForeignCallThunk = sizeof(void*) == 4;
