#pragma once
// The event-log fallback of the relay: one entry under the source
// "Norvelle" per outage. The lock file etc/nsm_evtlog.lock holds further
// entries back until an accepted hand-over removes it; it is taken by an
// exclusive create, so of relays that fail at the same moment only the one
// that makes the file writes the entry. Nothing here is traced, and every
// failure of its own is silent.

#include <cstdint>

/// Event identifiers; the event log shows their low 16 bits, 3212 and 3213.
inline constexpr uint32_t EVENT_ALERT_REJECTED = 0xE0000C8C;
inline constexpr uint32_t EVENT_HANDOVER_FAILED = 0xE0000C8D;

/// The most insertion strings an entry carries.
inline constexpr int kMaxInsertionStrings = 10;

inline constexpr const char* kEventSourceName = "Norvelle";
inline constexpr const char* kLockFileName = "nsm_evtlog.lock";

/// 1 when no lock is there: nothing at the name (on POSIX also when a path
/// through a regular file makes that certain), or something that is not a
/// regular file (a directory, a link, a FIFO: never the lock, which is
/// only ever made a regular file). 0 when a regular file is there, when the
/// installation directory is not found, or when the test fails for another
/// reason (access denied). A lock path too long to form counts as absent:
/// such a file can never exist, as when it cannot be created.
int EvtLockAbsent();

/// Takes the lock: creates the file empty unless something is already at
/// its name (a planted link is never followed). 1 when this call made it,
/// or when it cannot be made at all, also because something other than a
/// regular file holds the name (the state then stays absent and every
/// failure is reported); 0 when a regular file is there: another relay has
/// just taken it. 0 too when there is no installation directory.
int EvtLockCreate();

/// Deletes the lock file when the name holds a regular file, and nothing
/// else: a directory, a link or a FIFO there stays, and every failure goes
/// on being reported until an administrator removes it. A missing file or
/// a failure is ignored.
void EvtLockRemove();

/// Writes one entry with the strings up to the first null pointer (at most
/// ten; `strings` itself may be null). 1 when it was written, else 0.
int ReportEvtLog(uint16_t type, uint32_t eventId, const char* const* strings);

/// One reported failure: when the lock file is absent and this relay's
/// create takes it, an error entry with `insertionString` (null for none).
void ReportFailureOnce(uint32_t eventId, const char* insertionString);
