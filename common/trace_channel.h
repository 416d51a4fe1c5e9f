#pragma once
// One named channel of the optional trace library "tloxtrc", loaded at run
// time. Without the library (or with one that lacks an entry point) every
// operation does nothing and the program runs as it would traced.

#include "platform/platform.h"

// The entry points' types. They are called through platform::CallForeign,
// so the library may export them __cdecl or __stdcall.
using TloxOpenTracerFn = int (*)(void* handleArea, int openValue, const char* name);
using TloxTraceFn = int (*)(void* handleArea, int value1, int value2, const char* value3,
                            int value4, int value5, int value6, int value7, int value8,
                            const void* value9);
using TloxCloseTracerFn = int (*)(void* handleArea, int closeValue);
/// The entry points that must exist for a binding but are never called.
using TloxUncalledFn = int (*)(void* handleArea);

/// Fields in the library's documented order; zero the whole record before
/// TraceOpen. The first 32-bit word of handleArea, filled in by the library's
/// open, marks the channel as open in the library.
struct TraceChannel {
  platform::Library module;
  TloxOpenTracerFn TloxOpenTracer;
  TloxTraceFn TloxTrace;
  TloxUncalledFn TloxTraceCheck;
  TloxCloseTracerFn TloxCloseTracer;
  TloxUncalledFn TloxSnap;
  TloxUncalledFn TloxDump;
  TloxUncalledFn TloxSetMemoryDump;
  TloxUncalledFn TloxRelMemoryDump;
  unsigned char handleArea[96];
};

/// Loads the library and resolves all eight entry points, or none: 1 bound,
/// 0 unbound (the library is unloaded again). Never touches handleArea.
int TraceBind(TraceChannel* channel);

/// Unloads the library if bound and clears the binding.
void TraceUnbind(TraceChannel* channel);

/// Binds and opens the channel; the library's open result, or 0 when it
/// cannot be bound or the channel is null.
int TraceOpen(TraceChannel* channel, int openValue, const char* name);

/// One record of nine values; the library's result, or 0 when nothing was
/// called (null channel, unbound, or not open in the library).
int TraceWrite(TraceChannel* channel, int value1, int value2, const char* value3, int value4,
               int value5, int value6, int value7, int value8, const void* value9);

/// Closes the channel in the library (when open there) and unbinds it;
/// 1 for any channel, 0 for a null one.
int TraceClose(TraceChannel* channel, int closeValue);

/// Value 1 of every record, which tells the programs apart.
inline constexpr int kTraceFromCredseal = 0;
inline constexpr int kTraceFromRelay = 1;

/// One text record: `program` (kTraceFromCredseal, kTraceFromRelay), 1, the
/// call site's file and line, 2, the text's length, the process id, code 0
/// and the text.
int TraceText(TraceChannel* channel, int program, const char* sourceFile, int line,
              const char* text);
