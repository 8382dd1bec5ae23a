// Framing of the family-1 bus as the emulated controllers read and write it.
#include <gtest/gtest.h>

#include "emulators/family1/packet.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator::family1 {
namespace {

using testing::Bytes;

struct SplitCase {
  const char* behaviour;
  Bytes line;
  std::vector<Bytes> frames;  // every frame found, in order
  std::vector<bool> valid;
};

TEST(Family1Frames, SplitsTheLineIntoFramesWhicheverWayTheBytesArrive) {
  const SplitCase cases[] = {
      {"noise before the preamble is skipped",
       {0x01, 0xFF, 0x00, 0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA},
       {{0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA}},
       {true}},
      {"a length byte that is itself a preamble restarts the frame there",
       {0x3B, 0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC},
       {{0x3B, 0x3B}, {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC}},
       {false, true}},
      {"lengths outside 3..29 are rejected at once",
       {0x3B, 0x1E, 0x3B, 0x02, 0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA},
       {{0x3B, 0x1E}, {0x3B, 0x02}, {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA}},
       {false, false, true}},
      {"a wrong checksum is flagged and the next frame still found",
       {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBB, 0x3B, 0x06, 0x32, 0x11, 0x02, 0xC0, 0x00, 0x00, 0xF5},
       {{0x3B, 0x03, 0x32, 0x10, 0x01, 0xBB},
        {0x3B, 0x06, 0x32, 0x11, 0x02, 0xC0, 0x00, 0x00, 0xF5}},
       {false, true}},
      {"a preamble byte inside the data does not start a frame",
       {0x3B, 0x06, 0x32, 0x10, 0x04, 0x3B, 0x3B, 0x3B, 0x03},
       {{0x3B, 0x06, 0x32, 0x10, 0x04, 0x3B, 0x3B, 0x3B, 0x03}},
       {true}},
  };
  for (const SplitCase& c : cases) {
    for (bool byteByByte : {false, true}) {
      SCOPED_TRACE(std::string(c.behaviour) + (byteByByte ? ", byte by byte" : ", in one read"));
      FrameSplitter splitter;
      std::vector<RawFrame> found;
      if (byteByByte) {
        for (uint8_t byte : c.line) {
          for (RawFrame& f : splitter.Feed(&byte, 1)) found.push_back(std::move(f));
        }
      } else {
        found = splitter.Feed(c.line.data(), c.line.size());
      }
      ASSERT_EQ(found.size(), c.frames.size());
      for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].bytes, c.frames[i]) << "frame " << i;
        EXPECT_EQ(found[i].Valid(), c.valid[i]) << "frame " << i;
      }
      EXPECT_FALSE(splitter.Pending());
    }
  }
}

TEST(Family1Frames, AFrameCutOffMidwayIsGivenUpWithoutSwallowingTheNext) {
  FrameSplitter splitter;
  const Bytes start = {0x3B, 0x06, 0x32, 0x10, 0x02};
  EXPECT_TRUE(splitter.Feed(start.data(), start.size()).empty());
  ASSERT_TRUE(splitter.Pending());
  const RawFrame abandoned = splitter.Abandon();
  EXPECT_EQ(abandoned.bytes, start);
  EXPECT_FALSE(abandoned.Valid());
  const Bytes next = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
  const auto frames = splitter.Feed(next.data(), next.size());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].Valid());
}

TEST(Family1Frames, RepliesCarryTheControllerAsSourceAndAChecksumThatZeroesTheSum) {
  // Worked by hand: 06+10+32+01+40 = 0x89, 0x100-0x89 = 0x77.
  EXPECT_EQ(BuildReply(0, 0x01, {0x40, 0x00, 0x00}),
            (Bytes{0x3B, 0x06, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00, 0x77}));
  // 05+11+32+FE+03+01 = 0x14A -> 0xB6.
  EXPECT_EQ(BuildReply(1, 0xFE, {0x03, 0x01}),
            (Bytes{0x3B, 0x05, 0x11, 0x32, 0xFE, 0x03, 0x01, 0xB6}));
  // A sum that is already 0 mod 256 gives checksum 0, not 0x100.
  EXPECT_EQ(BuildReply(0, 0x01, {0x00, 0x00, 0x00}).back(), 0xB7);
  EXPECT_EQ(Checksum(Bytes{0x80, 0x80}.data(), 2), 0x00);
  EXPECT_EQ(AxisOfAddress(0x10), 0);
  EXPECT_EQ(AxisOfAddress(0x11), 1);
  EXPECT_EQ(AxisOfAddress(0xB0), -1);
}

TEST(Family1Frames, PositionsAreSigned24BitMostSignificantFirst) {
  struct Case {
    Bytes wire;
    int32_t counts;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x00}, 0},        {{0x40, 0x00, 0x00}, 4194304},  // +90 degrees
      {{0xC0, 0x00, 0x00}, -4194304},                                 // -90 degrees
      {{0x80, 0x00, 0x00}, -8388608},  // -180 degrees, the lowest value
      {{0x7F, 0xFF, 0xFF}, 8388607},  {{0xFF, 0xFF, 0xFF}, -1},      {{0x12, 0x34, 0x56}, 0x123456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counts);
    EXPECT_EQ(SignExtend24(Unpack24(c.wire.data())), c.counts);
    Bytes packed(3);
    Pack24(c.counts, packed.data());
    EXPECT_EQ(packed, c.wire);
  }
}

}  // namespace
}  // namespace sidera::emulator::family1
