// The event log's message table (packaging/evtrelay_messages.mc) holds the
// texts of the identifiers the relay reports. Windows builds only; nothing
// here ends up in the program.

#include <windows.h>

#include "evtrelay/event_fallback.h"
#include "evtrelay_messages.h"

static_assert(MSG_ALERT_REJECTED == EVENT_ALERT_REJECTED, "3212 is the rejected alert");
static_assert(MSG_HANDOVER_FAILED == EVENT_HANDOVER_FAILED, "3213 is the failed hand-over");
