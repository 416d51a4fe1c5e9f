#pragma once

/// Windows paths: "\" is the only separator the kit looks for.
inline constexpr char kPathSeparator = '\\';

/// Calling convention of the trace library's entry points (plain C exports).
#define KIT_TRACE_CALL __cdecl

/// Calling convention of the console library's msgpost3 (a plain C export).
#define KIT_CONSOLE_CALL __cdecl
