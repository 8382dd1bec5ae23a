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

TEST(Family1Frames, AChecksumOfASumAlreadyZeroIsZeroNot256) {
  EXPECT_EQ(Checksum(Bytes{0x80, 0x80}.data(), 2), 0x00);
  EXPECT_EQ(BuildReply(1, 0x04, {}), (Bytes{0x3B, 0x03, 0x11, 0x32, 0x04, 0xB6}));
}

}  // namespace
}  // namespace sidera::emulator::family1
