#pragma once
// The Windows backend's one translation of system error codes into the
// errno values the kit reports. Private to the backend.

namespace platform {

/// The errno value for a failed call of the system (GetLastError()).
int ErrnoFromSystem(unsigned long code);

/// ErrnoFromSystem(GetLastError()), never 0.
int LastSystemErrno();

}  // namespace platform
