#include "common/trace_channel.h"

#include <gtest/gtest.h>

#include <cstring>

// These run where no trace library can be found (the library stand-ins are
// kept out of the programs' directory); the behaviour suite covers a
// present library.

namespace {

bool AllZero(const TraceChannel& channel) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&channel);
  for (size_t i = 0; i < sizeof channel; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(TraceChannel, FieldsInTheLibrarysOrder) {
  EXPECT_EQ(offsetof(TraceChannel, module), 0u);
  EXPECT_LT(offsetof(TraceChannel, module), offsetof(TraceChannel, TloxOpenTracer));
  EXPECT_LT(offsetof(TraceChannel, TloxOpenTracer), offsetof(TraceChannel, TloxTrace));
  EXPECT_LT(offsetof(TraceChannel, TloxTrace), offsetof(TraceChannel, TloxTraceCheck));
  EXPECT_LT(offsetof(TraceChannel, TloxTraceCheck), offsetof(TraceChannel, TloxCloseTracer));
  EXPECT_LT(offsetof(TraceChannel, TloxCloseTracer), offsetof(TraceChannel, TloxSnap));
  EXPECT_LT(offsetof(TraceChannel, TloxSnap), offsetof(TraceChannel, TloxDump));
  EXPECT_LT(offsetof(TraceChannel, TloxDump), offsetof(TraceChannel, TloxSetMemoryDump));
  EXPECT_LT(offsetof(TraceChannel, TloxSetMemoryDump), offsetof(TraceChannel, TloxRelMemoryDump));
  EXPECT_LT(offsetof(TraceChannel, TloxRelMemoryDump), offsetof(TraceChannel, handleArea));
  EXPECT_EQ(sizeof(TraceChannel::handleArea), 96u);
}

TEST(TraceChannel, WithoutTheLibraryNothingHappens) {
  TraceChannel channel{};
  EXPECT_EQ(TraceOpen(&channel, 0, "Norvelle01"), 0);
  EXPECT_TRUE(AllZero(channel));
  EXPECT_EQ(TraceWrite(&channel, 1, 1, "f.cpp", 10, 2, 5, 0, 0, "hello"), 0);
  EXPECT_TRUE(AllZero(channel));
  EXPECT_EQ(TraceClose(&channel, 1), 1);
  EXPECT_TRUE(AllZero(channel));
  EXPECT_EQ(TraceClose(&channel, 1), 1);
}

TEST(TraceChannel, NullChannelGivesZeroEverywhere) {
  EXPECT_EQ(TraceBind(nullptr), 0);
  TraceUnbind(nullptr);
  EXPECT_EQ(TraceOpen(nullptr, 0, "Norvelle01"), 0);
  EXPECT_EQ(TraceWrite(nullptr, 1, 1, "f.cpp", 10, 2, 5, 0, 0, "hello"), 0);
  EXPECT_EQ(TraceClose(nullptr, 0), 0);
}

// An open mark with no binding behind it must not lead to a call.
TEST(TraceChannel, BindingAloneDecidesAndHandleAreaIsLeftAlone) {
  TraceChannel channel{};
  memset(channel.handleArea, 0x5A, sizeof channel.handleArea);
  EXPECT_EQ(TraceBind(&channel), 0);
  EXPECT_EQ(channel.module, nullptr);
  EXPECT_EQ(TraceWrite(&channel, 1, 1, "f.cpp", 10, 2, 5, 0, 0, "hello"), 0);
  EXPECT_EQ(TraceClose(&channel, 0), 1);
  for (unsigned char b : channel.handleArea) EXPECT_EQ(b, 0x5A);
}

}  // namespace
