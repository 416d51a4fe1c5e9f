#pragma once
// For tests only: makes one call of the write path's system-call table
// (system_call_table.h) fail, or end the process right before
// it, as a kill would; system_call_faults.cpp serves either backend.

#include <span>
#include <string_view>
#include <vector>

namespace platform::faults {

enum class Effect {
  kFail,        ///< the armed call fails with the error, once
  kFailOnward,  ///< the armed call and every later call of that name fail
  kEnd,         ///< the process ends right before the armed call (exit code kEndCode)
};

/// The exit code of a process ended by Effect::kEnd.
inline constexpr int kEndCode = 86;

/// The names of the calls in the table, in its order.
std::span<const std::string_view> Names();

/// Counts the calls of each name from here on; the `nth` call of `name`
/// (1 is the next) has `effect`, failing with `error`: an errno value on
/// POSIX, a system error code on Windows. nth 0 only counts.
void Arm(std::string_view name, unsigned nth, unsigned long error, Effect effect = Effect::kFail);

/// The system's own calls again; the counts stay to be read.
void Disarm();

/// Calls of `name` since the last Arm.
unsigned Count(std::string_view name);

/// The names of the calls made since the last Arm, in their order.
std::vector<std::string_view> CallsMade();

/// A failure of the device, as the backend's calls report one.
unsigned long DeviceError();

}  // namespace platform::faults
