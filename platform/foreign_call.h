#pragma once
// Calls into the libraries outside the kit: the trace library's entry
// points and the console library's msgpost3. Such a library may export its
// functions as __cdecl or as __stdcall under the same plain names, and on
// 32-bit Windows the two differ in who removes the arguments from the
// stack. There every call goes through a small thunk that passes the
// arguments as 32-bit words and restores the stack pointer afterwards,
// whatever the callee popped; every other build has one convention and
// calls directly.

#include <bit>
#include <cstdint>
#include <type_traits>

#include "platform_config.h"

/// The thunk (win32/call_thunk_i686.S, 32-bit Windows only): calls
/// `function` with `count` words, words[0] first, and returns its EAX.
extern "C" uint32_t KitCallWords(const void* function, const uint32_t* words, uint32_t count);

namespace platform {

/// One argument as the 32-bit word the callee finds on the stack.
template <typename T>
uint32_t ArgumentWord(T value) {
  static_assert(sizeof(T) <= sizeof(uint32_t), "one argument, one 32-bit word");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

/// `function`(args...), with each argument converted to its parameter's
/// type first, whichever of the two conventions the callee follows.
template <typename... Params, typename... Args>
int CallForeign(int (*function)(Params...), Args... args) {
  static_assert(sizeof...(Params) == sizeof...(Args), "one argument per parameter");
  if constexpr (kForeignCallThunk) {
    const uint32_t words[] = {ArgumentWord(static_cast<Params>(args))...};
    return static_cast<int>(
        KitCallWords(std::bit_cast<const void*>(function), words, sizeof...(Params)));
  } else {
    return function(static_cast<Params>(args)...);
  }
}

}  // namespace platform
