#include "common/trace_channel.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/foreign_call.h"

namespace {

// The one conversion from a resolved symbol to an entry field's type.
template <typename Fn>
bool Resolve(platform::Library module, const char* name, Fn& field) {
  field = std::bit_cast<Fn>(platform::LibrarySymbol(module, name));
  return field != nullptr;
}

void ClearBinding(TraceChannel* channel) {
  channel->module = nullptr;
  channel->TloxOpenTracer = nullptr;
  channel->TloxTrace = nullptr;
  channel->TloxTraceCheck = nullptr;
  channel->TloxCloseTracer = nullptr;
  channel->TloxSnap = nullptr;
  channel->TloxDump = nullptr;
  channel->TloxSetMemoryDump = nullptr;
  channel->TloxRelMemoryDump = nullptr;
}

// The handle area has no alignment of its own, hence the copy.
bool OpenInLibrary(const TraceChannel* channel) {
  uint32_t mark = 0;
  memcpy(&mark, channel->handleArea, sizeof mark);
  return mark != 0;
}

}  // namespace

int TraceBind(TraceChannel* channel) {
  if (channel == nullptr) return 0;
  ClearBinding(channel);
  channel->module = platform::OpenLibrary("tloxtrc");
  if (channel->module == nullptr) return 0;
  platform::Library module = channel->module;
  // In the library's documented order; the first missing name ends it.
  if (Resolve(module, "TloxOpenTracer", channel->TloxOpenTracer) &&
      Resolve(module, "TloxTrace", channel->TloxTrace) &&
      Resolve(module, "TloxTraceCheck", channel->TloxTraceCheck) &&
      Resolve(module, "TloxCloseTracer", channel->TloxCloseTracer) &&
      Resolve(module, "TloxSnap", channel->TloxSnap) &&
      Resolve(module, "TloxDump", channel->TloxDump) &&
      Resolve(module, "TloxSetMemoryDump", channel->TloxSetMemoryDump) &&
      Resolve(module, "TloxRelMemoryDump", channel->TloxRelMemoryDump)) {
    return 1;
  }
  TraceUnbind(channel);
  return 0;
}

void TraceUnbind(TraceChannel* channel) {
  if (channel == nullptr) return;
  if (channel->module != nullptr) platform::CloseLibrary(channel->module);
  ClearBinding(channel);
}

int TraceOpen(TraceChannel* channel, int openValue, const char* name) {
  if (TraceBind(channel) == 0) return 0;
  return platform::CallForeign(channel->TloxOpenTracer, channel->handleArea, openValue, name);
}

int TraceWrite(TraceChannel* channel, int value1, int value2, const char* value3, int value4,
               int value5, int value6, int value7, int value8, const void* value9) {
  if (channel == nullptr || channel->TloxTrace == nullptr || !OpenInLibrary(channel)) return 0;
  return platform::CallForeign(channel->TloxTrace, channel->handleArea, value1, value2, value3,
                               value4, value5, value6, value7, value8, value9);
}

int TraceClose(TraceChannel* channel, int closeValue) {
  if (channel == nullptr) return 0;
  if (channel->TloxCloseTracer != nullptr && OpenInLibrary(channel)) {
    platform::CallForeign(channel->TloxCloseTracer, channel->handleArea, closeValue);
  }
  TraceUnbind(channel);
  return 1;
}

int TraceText(TraceChannel* channel, int program, const char* sourceFile, int line,
              const char* text) {
  return TraceWrite(channel, program, 1, sourceFile, line, 2, static_cast<int>(strlen(text)),
                    platform::ProcessId(), 0, text);
}
