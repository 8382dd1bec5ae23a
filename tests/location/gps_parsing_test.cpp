// The GPS receivers' wire formats as the reader takes them apart: bus
// packets and 24-bit angles, NMEA sentence framing and checksums, and the
// fix and recommended-minimum fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "location/core/gps/bus_packet.h"
#include "location/core/gps/nmea.h"

namespace location::gps {
namespace {

// The requests, and a reply with a bad checksum, are checked against the
// bus GPS unit's emulator (gps_reader_test).
TEST(BusPacket, RepliesCutShortOrOverlongOrWithoutPreambleAreRejected) {
  struct Case {
    std::vector<uint8_t> reply;
    bool sound;
  } cases[] = {
      {{0x3B, 0x04, 0xB0, 0x32, 0x37, 0x01, 0xE2}, true},
      {{0x3B, 0x05, 0xB0, 0x32, 0x37, 0x01, 0xE1}, false},  // cut short
      {{0x3A, 0x04, 0xB0, 0x32, 0x37, 0x01, 0xE2}, false},  // preamble
  };
  for (const Case& c : cases) EXPECT_EQ(ReplyIsSound(c.reply), c.sound);
  std::vector<uint8_t> tooLong(33, 0);
  tooLong[0] = 0x3B;
  tooLong[1] = 30;
  EXPECT_FALSE(ReplyIsSound(tooLong));
}

TEST(BusPacket, TwentyFourBitAnglesComeOutWithinHalfATurn) {
  struct Case {
    uint8_t bytes[3];
    double degrees;
  } cases[] = {
      {{0x00, 0x00, 0x00}, 0.0},
      {{0x40, 0x00, 0x00}, 90.0},
      {{0x80, 0x00, 0x00}, 180.0},
      {{0x80, 0x00, 0x01}, -180.0 + 360.0 / 16777216},  // just above half a turn
      {{0xC0, 0x00, 0x00}, -90.0},
      {{0xFF, 0xFF, 0xFF}, -360.0 / 16777216},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Angle24ToDegrees(c.bytes), c.degrees);
}

std::vector<std::string> Bodies(const std::string& stream) {
  SentenceAssembler assembler;
  std::vector<std::string> bodies;
  for (const char c : stream) {
    if (auto body = assembler.Feed(static_cast<uint8_t>(c))) bodies.push_back(*body);
  }
  return bodies;
}

TEST(NmeaFraming, BadChecksumsAndOverlongSentencesAreDropped) {
  const std::string good = "$GPGSA,M,3*3C\r\n";  // 'G'^'P'^'G'^'S'^'A'^','^'M'^','^'3' = 0x3C
  const std::string overlong = "$GPGGA," + std::string(600, '1') + "*00\r\n";
  struct Case {
    std::string stream;
    std::vector<std::string> bodies;
  } cases[] = {
      {good, {"GPGSA,M,3"}},
      {"$GPGSA,M,3*3c\r\n", {"GPGSA,M,3"}},      // either case of hex digit
      {"$GPGSA,M,3*3D\r\n", {}},                 // wrong checksum
      {"$GPGSA,M,3\r\n", {"GPGSA,M,3"}},         // no checksum at all
      {"$GPGSA,M,3*\r\n", {"GPGSA,M,3"}},        // an empty checksum field
      {"$GPGSA,M,3*3Z\r\n", {}},                 // a broken one
      {"$GPGSA,M$GPGSA,M,3*3C", {"GPGSA,M,3"}},  // cut short by the next sentence
      {overlong + good, {"GPGSA,M,3"}},          // dropped, and reading goes on
      {"noise\x80\xff" + good + good, {"GPGSA,M,3", "GPGSA,M,3"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Bodies(c.stream), c.bodies) << c.stream.substr(0, 40);
}

// Hemispheres of either case, a three-satellite fix, status V and a
// recommended-minimum sentence at rest are read by the GPS reader from the
// NMEA receiver's emulator (gps_reader_test); here, what is refused.
TEST(NmeaFields, LettersMinutesAndAnglesOutOfRangeAndEmptyFixes) {
  struct Angle {
    double value;
    char letter;
    bool latitude;
    std::optional<double> degrees;
  } angles[] = {
      {4807.038, 'N', true, 48.1173},      {1131.0, 'E', false, 11.516666666666667},
      {4807.038, 'E', true, std::nullopt},  // not a latitude letter
      {4861.0, 'N', true, std::nullopt},    // 61 minutes
      {18100.0, 'W', false, std::nullopt},  // beyond 180 degrees
  };
  for (const Angle& a : angles) {
    const auto got =
        a.latitude ? NmeaLatitude(a.value, a.letter) : NmeaLongitude(a.value, a.letter);
    ASSERT_EQ(got.has_value(), a.degrees.has_value()) << a.value << a.letter;
    if (got) {
      EXPECT_NEAR(*got, *a.degrees, 1e-9) << a.value << a.letter;
    }
  }
  EXPECT_EQ(ParseFix("123519,,,,,0,00,,,M,,M,,").fields, 1);
}

}  // namespace
}  // namespace location::gps
