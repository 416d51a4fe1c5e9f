// The stack canary's value and its failure handlers for the Windows builds,
// in place of libssp's, which seeds the canary with CryptGenRandom: that
// loads three cryptographic DLLs into every process at start, a few
// milliseconds per alert on Windows and a fourth of a second under
// emulation. The value is mixed as Windows' own /GS cookie is, from the
// clock, the counters and the process's and thread's ids, and the stack's
// address, which address-space layout randomisation varies. libssp stays
// linked for the checked copies of _FORTIFY_SOURCE, which fail through
// __chk_fail below. Built without a canary of its own.

#include <windows.h>

#include <cstdint>

extern "C" {

uintptr_t __stack_chk_guard = 0;

[[noreturn]] void __stack_chk_fail() {
  static const char kMessage[] = "*** stack smashing detected ***: terminated\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof kMessage - 1, &written, nullptr);
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_unreachable();
}

[[noreturn]] void __chk_fail() { __stack_chk_fail(); }

}  // extern "C"

namespace {

uint64_t Mix(uint64_t state, uint64_t value) {
  state ^= value;
  state *= 0x9E3779B97F4A7C15u;
  return state ^ (state >> 29);
}

// Before every other constructor, so that no function that runs before it
// and returns after it sees the canary change.
[[gnu::constructor(101)]] void SeedStackGuard() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uint64_t state = Mix(0, (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
  state = Mix(state, static_cast<uint64_t>(counter.QuadPart));
  state = Mix(state, (uint64_t{GetCurrentProcessId()} << 32) | GetCurrentThreadId());
  state = Mix(state, GetTickCount64());
  state = Mix(state, reinterpret_cast<uintptr_t>(&state));
  // A zero byte first stops a string copy from carrying the canary along.
  __stack_chk_guard = static_cast<uintptr_t>(state) & ~uintptr_t{0xFF};
}

}  // namespace
