#pragma once
// The one table through which each backend makes the system calls of the
// credential file's write path (the list is the backend's system_calls.h),
// so that a test can make any of them fail at any of its calls
// (system_call_faults.h); the shipped programs pay one indirect call each.
// Private to the platform layer.

#include "system_calls.h"

namespace platform::syscalls {

struct SystemCalls {
#define KIT_SYSTEM_CALL_MEMBER(result, name, parameters, arguments, failure) \
  result(KIT_SYSTEM_CALL* name) parameters;
  KIT_SYSTEM_CALLS(KIT_SYSTEM_CALL_MEMBER)
#undef KIT_SYSTEM_CALL_MEMBER
};

/// The table the backend calls through: the system's own calls, unless a
/// test has put others in.
extern SystemCalls sys;

}  // namespace platform::syscalls
