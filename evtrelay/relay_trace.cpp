#include "evtrelay/relay_trace.h"

#include <cstring>

#include "platform/platform.h"

void TraceText(TraceChannel* channel, const char* sourceFile, int line, const char* text) {
  TraceWrite(channel, 1, 1, sourceFile, line, 2, static_cast<int>(std::strlen(text)),
             platform::ProcessId(), 0, text);
}
