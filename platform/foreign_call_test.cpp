// Calls through platform::CallForeign reach __cdecl and __stdcall callees
// with every word in place and leave the stack as it was: a drift of the
// stack pointer would show within a few thousand calls.

#include "platform/foreign_call.h"

#include <gtest/gtest.h>

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KIT_TEST_STDCALL __stdcall
#else
#define KIT_TEST_STDCALL
#endif

namespace {

// Thirteen words, as msgpost3 takes them: each weighted by its position,
// so a word in the wrong place changes the result.
#define KIT_THIRTEEN_WORDS(convention, name)                                                    \
  int convention name(const char* text, int w2, int w3, int w4, int w5, int w6, int w7, int w8, \
                      int w9, int w10, int w11, int w12, const char* last) {                    \
    return (text[0] - 'a') + 2 * w2 + 3 * w3 + 4 * w4 + 5 * w5 + 6 * w6 + 7 * w7 + 8 * w8 +     \
           9 * w9 + 10 * w10 + 11 * w11 + 12 * w12 + 13 * (last[0] - 'a');                      \
  }
KIT_THIRTEEN_WORDS(, Cdecl)
KIT_THIRTEEN_WORDS(KIT_TEST_STDCALL, Stdcall)

using Thirteen = int (*)(const char*, int, int, int, int, int, int, int, int, int, int, int,
                         const char*);

TEST(ForeignCall, EitherConventionGetsItsWordsAndKeepsTheStack) {
  const struct {
    const char* name;
    Thirteen function;
  } callees[] = {{"cdecl", Cdecl}, {"stdcall", reinterpret_cast<Thirteen>(Stdcall)}};
  for (const auto& callee : callees) {
    SCOPED_TRACE(callee.name);
    for (int i = 0; i < 10000; ++i) {
      ASSERT_EQ(platform::CallForeign(callee.function, "b", 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, i, "c"),
                1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12 * i + 13 * 2);
    }
  }
}

}  // namespace
