#include "platform/system_call_table.h"

namespace platform::syscalls {

SystemCalls sys = {
#define KIT_SYSTEM_CALL_REAL(result, name, parameters, arguments, failure) .name = ::name,
    KIT_SYSTEM_CALLS(KIT_SYSTEM_CALL_REAL)
#undef KIT_SYSTEM_CALL_REAL
};

}  // namespace platform::syscalls
