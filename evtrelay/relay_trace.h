#pragma once
// The relay's text records: values 1, 2 and 5 fixed, the call site's file
// and line, the text's length, the process id and code 0.

#include "common/trace_channel.h"

void TraceText(TraceChannel* channel, const char* sourceFile, int line, const char* text);
