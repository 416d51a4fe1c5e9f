#include <windows.h>

#include "platform/platform.h"

namespace platform {

EventSource OpenEventSource(const char* name) { return RegisterEventSourceA(nullptr, name); }

bool WriteEvent(EventSource source, uint16_t type, uint32_t eventId, uint16_t stringCount,
                const char* const* strings) {
  // ReportEventA's string array is not const-qualified, though it is only read.
  return ReportEventA(static_cast<HANDLE>(source), type, 0, eventId, nullptr, stringCount, 0,
                      const_cast<const char**>(strings), nullptr) != FALSE;
}

void CloseEventSource(EventSource source) { DeregisterEventSource(static_cast<HANDLE>(source)); }

}  // namespace platform
