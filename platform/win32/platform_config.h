#pragma once

/// Windows paths: "\" is the only separator the kit looks for.
inline constexpr char kPathSeparator = '\\';

/// Calling convention of the trace library's entry points (plain C exports).
#define KIT_TRACE_CALL __cdecl
