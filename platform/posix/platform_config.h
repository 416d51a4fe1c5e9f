#pragma once

/// POSIX paths: "/" takes the place of the Windows "\".
inline constexpr char kPathSeparator = '/';

/// The end of a line in a text file, as text mode writes "\n".
inline constexpr char kLineEnd[] = "\n";

/// One calling convention: calls into outside libraries are direct.
inline constexpr bool kForeignCallThunk = false;
