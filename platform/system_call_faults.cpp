// The fault seam over either backend's system-call table: while armed, the
// table holds counting wrappers of the system's calls.

#include "platform/system_call_faults.h"

#include <array>
#include <vector>

#include "platform/system_call_table.h"

namespace platform::faults {

namespace {

using syscalls::sys;
using syscalls::SystemCalls;

enum Call : unsigned {
#define KIT_FAULT_INDEX(result, name, parameters, arguments, failure) k_##name,
  KIT_SYSTEM_CALLS(KIT_FAULT_INDEX)
#undef KIT_FAULT_INDEX
      kCallCount
};

constexpr std::array<std::string_view, kCallCount> kNames = {
#define KIT_FAULT_NAME(result, name, parameters, arguments, failure) #name,
    KIT_SYSTEM_CALLS(KIT_FAULT_NAME)
#undef KIT_FAULT_NAME
};

/// The system's own calls, as the table held them before any test; taken
/// at the first use, once every table is built.
const SystemCalls& Real() {
  static const SystemCalls real = sys;
  return real;
}

struct Armed {
  unsigned call = kCallCount;
  unsigned nth = 0;
  unsigned long error = 0;
  Effect effect = Effect::kFail;
};
Armed armed;
std::array<unsigned, kCallCount> counts{};
std::vector<std::string_view> made;

/// Counts the call; true when it is to fail, its error set.
bool Hit(unsigned call) {
  const unsigned count = ++counts[call];
  made.push_back(kNames[call]);
  if (call != armed.call || armed.nth == 0) return false;
  if (count != armed.nth && !(armed.effect == Effect::kFailOnward && count > armed.nth)) {
    return false;
  }
  if (armed.effect == Effect::kEnd) syscalls::EndProcessNow(kEndCode);
  syscalls::SetCallError(armed.error);
  return true;
}

/// Calls that release what they are given do so even when they fail, as
/// close(2) and CloseHandle do: a failure injected there still releases.
bool Releases(unsigned call) { return kNames[call] == "close" || kNames[call] == "CloseHandle"; }

#define KIT_FAULT_WRAPPER(result, name, parameters, arguments, failure) \
  result KIT_SYSTEM_CALL Counted_##name parameters {                    \
    if (!Hit(k_##name)) return Real().name arguments;                   \
    if (Releases(k_##name)) Real().name arguments;                      \
    return (failure);                                                   \
  }
KIT_SYSTEM_CALLS(KIT_FAULT_WRAPPER)
#undef KIT_FAULT_WRAPPER

const SystemCalls counted = {
#define KIT_FAULT_ENTRY(result, name, parameters, arguments, failure) .name = Counted_##name,
    KIT_SYSTEM_CALLS(KIT_FAULT_ENTRY)
#undef KIT_FAULT_ENTRY
};

unsigned IndexOf(std::string_view name) {
  unsigned i = 0;
  while (i < kCallCount && kNames[i] != name) ++i;
  return i;
}

}  // namespace

std::span<const std::string_view> Names() { return kNames; }

void Arm(std::string_view name, unsigned nth, unsigned long error, Effect effect) {
  Real();
  counts.fill(0);
  made.clear();
  armed = {IndexOf(name), nth, error, effect};
  sys = counted;
}

void Disarm() { sys = Real(); }

unsigned Count(std::string_view name) {
  const unsigned i = IndexOf(name);
  return i < kCallCount ? counts[i] : 0;
}

std::vector<std::string_view> CallsMade() { return made; }

unsigned long DeviceError() { return syscalls::kDeviceError; }

}  // namespace platform::faults
