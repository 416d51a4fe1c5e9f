#pragma once

/// POSIX paths: "/" takes the place of the Windows "\".
inline constexpr char kPathSeparator = '/';

/// One calling convention: calls into outside libraries are direct.
inline constexpr bool kForeignCallThunk = false;
