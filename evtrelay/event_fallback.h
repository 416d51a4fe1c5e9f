#pragma once
// The event-log fallback of the relay: one entry under the source
// "Norvelle" per failure, held back while the lock file etc/nsm_evtlog.lock
// exists; an accepted hand-over removes the file again. Nothing here is
// traced, and every failure of its own is silent.

#include <cstdint>

/// Event identifiers; the event log shows their low 16 bits, 3212 and 3213.
inline constexpr uint32_t EVENT_ALERT_REJECTED = 0xE0000C8C;
inline constexpr uint32_t EVENT_HANDOVER_FAILED = 0xE0000C8D;

/// The most insertion strings an entry carries.
inline constexpr int kMaxInsertionStrings = 10;

inline constexpr const char* kEventSourceName = "Norvelle";
inline constexpr const char* kLockFileName = "nsm_evtlog.lock";

/// 1 when the lock file does not exist; 0 when it does, when the
/// installation directory is not found, or when the test fails for another
/// reason. A lock path too long to form counts as absent: such a file can
/// never exist, as when it cannot be created.
int EvtLockAbsent();

/// Creates the lock file empty (or empties it); failures are ignored.
void EvtLockCreate();

/// Deletes the lock file; a missing file or a failure is ignored.
void EvtLockRemove();

/// Writes one entry with the strings up to the first null pointer (at most
/// ten; `strings` itself may be null). 1 when it was written, else 0.
int ReportEvtLog(uint16_t type, uint32_t eventId, const char* const* strings);

/// One reported failure: when the lock file is absent, an error entry with
/// `insertionString` (null for none), then the lock file.
void ReportFailureOnce(uint32_t eventId, const char* insertionString);
