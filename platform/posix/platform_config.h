#pragma once

/// POSIX paths: "/" takes the place of the Windows "\".
inline constexpr char kPathSeparator = '/';

/// One calling convention only.
#define KIT_TRACE_CALL

/// The console library's msgpost3: one calling convention only.
#define KIT_CONSOLE_CALL
