// The GPS receivers' wire formats as the reader takes them apart: bus
// packets and 24-bit angles, NMEA sentence framing and checksums, the fix
// and recommended-minimum sentences of every talker and NMEA version, the
// range of every field, and what proves a baud rate (proprietary sentences
// and banners do not).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "emulators/nmea/nmea_feeder.h"
#include "location/core/gps/bus_packet.h"
#include "location/core/gps/nmea.h"
#include "location/core/gps/nmea_reading.h"

namespace location::gps {
namespace {

using sidera::emulator::NmeaSentence;

// The sentences below were recorded from 2000 on: no date among them is a
// receiver's behind by a week-number rollover.
const GpsTime kRecordedSince{2000, 1, 1, 0, 0, 0};

struct BytesSource : ByteSource {
  size_t Read(uint8_t* out, size_t length) override {
    const size_t n = std::min(length, bytes.size() - pos);
    std::memcpy(out, bytes.data() + pos, n);
    pos += n;
    return n;
  }
  std::vector<uint8_t> bytes;
  size_t pos = 0;
};

// A reply with a bad checksum, the requests and angles either side of zero
// are checked against the bus GPS unit's emulator (gps_reader_test).
TEST(BusPacket, OnlyWholeRepliesWithinThePacketLimitAreRead) {
  std::vector<uint8_t> tooLong(33, 0);
  tooLong[0] = 0x3B;
  tooLong[1] = 30;
  struct Case {
    std::vector<uint8_t> line;
    bool read;
  } cases[] = {
      {{0x3B, 0x04, 0xB0, 0x32, 0x37, 0x01, 0xE2}, true},
      {{0x3B, 0x00, 0x00, 0x04, 0xB0, 0x32, 0x37, 0x01, 0xE2}, true},  // idle zeros first
      {{0x3B, 0x04, 0xB0, 0x32, 0x37, 0x01}, false},                   // cut short
      {{0x3A, 0x04, 0xB0, 0x32, 0x37, 0x01, 0xE2}, false},             // preamble
      {tooLong, false},
      {std::vector<uint8_t>(40, 0), false},
  };
  for (const Case& c : cases) {
    BytesSource source;
    source.bytes = c.line;
    std::vector<uint8_t> reply;
    EXPECT_EQ(ReadBusReply(source, reply), c.read) << c.line.size();
    EXPECT_TRUE(!c.read || reply.back() == 0xE2) << c.line.size();
  }
}

TEST(BusPacket, TwentyFourBitAnglesComeOutWithinHalfATurn) {
  struct Case {
    uint8_t bytes[3];
    double degrees;
  } cases[] = {
      {{0x00, 0x00, 0x00}, 0.0},
      {{0x80, 0x00, 0x00}, 180.0},
      {{0x80, 0x00, 0x01}, -180.0 + 360.0 / 16777216},  // just above half a turn
      {{0xFF, 0xFF, 0xFF}, -360.0 / 16777216},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Angle24ToDegrees(c.bytes), c.degrees);
}

std::vector<Sentence> Sentences(const std::string& stream) {
  SentenceAssembler assembler;
  std::vector<Sentence> sentences;
  for (const char c : stream) {
    if (auto s = assembler.Feed(static_cast<uint8_t>(c))) sentences.push_back(*s);
  }
  return sentences;
}

TEST(NmeaFraming, BadChecksumsCorruptAndOverlongSentencesAreDropped) {
  const std::string good = "$GPGSA,M,3*3C\r\n";  // 'G'^'P'^'G'^'S'^'A'^','^'M'^','^'3' = 0x3C
  const Sentence gsa{"GPGSA,M,3", true};
  const Sentence bare{"GPGSA,M,3", false};
  const std::string overlong = "$GPGGA," + std::string(600, '1') + "*00\r\n";
  struct Case {
    std::string stream;
    std::vector<Sentence> sentences;
  } cases[] = {
      {good, {gsa}},
      {"$GPGSA,M,3*3c\r\n", {gsa}},            // either case of hex digit
      {"$GPGSA,M,3*3D\r\n", {}},               // wrong checksum
      {"$GPGSA,M,3\r\n", {bare}},              // no checksum at all
      {"$GPGSA,M,3*\r\n", {bare}},             // an empty checksum field
      {"$GPGSA,M,3*3Z\r\n", {}},               // a broken one
      {"$GPGSA,M$GPGSA,M,3*3C", {gsa}},        // cut short by the next sentence
      {"$GPGSA,\x8D,3*3C\r\n" + good, {gsa}},  // a byte from a line at the wrong rate
      {overlong + good, {gsa}},                // dropped, and reading goes on
      {"noise\x80\xff" + good + good, {gsa, gsa}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sentences(c.stream), c.sentences) << c.stream.substr(0, 40);
  }
}

// What a sentence tells the reader. The layouts the recorded captures play
// end to end (quality 1 and 8, cold start, RMC of NMEA 2.0, 2.3 and 4.1,
// status V, mode S, 30 February) are not repeated here; their three-satellite
// fixes give no altitude, so that one is.
struct Told {
  const char* body;
  int satellites = -1;  // -1: none
  bool fix = false, located = false;
  double latitude = NAN;  // NAN: no position or time
  double longitude = NAN;
};

TEST(NmeaSentences, FixAndRecommendedMinimumFromEveryTalkerAndVersion) {
  const Told cases[] = {
      {"GNGGA,043014.00,3413.6,N,11803.6,W,2,12,0.6,1742.0,M,-33.0,M,,0000", 12, true, true},
      {"GPGGA,043014.00,3413.6,N,11803.6,W,6,05,,1742.0,M,,M,,", 5, false, false},  // estimated
      {"GPGGA,043014.000,3413.6,N,11803.6,W,1,03,2.5,1742.0,M,,M,,", 3, true, false},
      {"GPGGA,043014,3413.6,N,11803.6,W,1,08,0.9,,M,,M,,", 8, false, false},  // no altitude
      {"GPRMC,043015.00,a,3413.6,s,11803.6,e,,,210324,,,A", -1, false, false, -34.2266666666667,
       118.06},
      {"GNRMC,043015.00,A,3413.6,N,11803.6,W,0.0,,210324,,,D,S", -1, false, false, 34.2266666666667,
       -118.06},
      {"GPRMC,043015.00,A,3413.6,N,11803.6,W,0.0,,210324,,,N", -1, false, false, NAN},
      {"GPRMC,043015.00,A,3413.6,N,11803.6,W,0.0,,210324,,,M", -1, false, false, NAN},  // manual
      {"GPRMC,235960.00,A,3413.6,N,11803.6,W,0.0,,311216,,,A", -1, false, false, NAN},  // leap s
      {"GPRMC,043015.00,A,3413.6,N,11803.6,W,0.0,,,,,A", -1, false, false, NAN},        // no date
  };
  for (const Told& c : cases) {
    SCOPED_TRACE(c.body);
    const auto r = ReadNmeaSentence({c.body, true}, kRecordedSince);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->talker, std::string(c.body, 2));
    EXPECT_EQ(r->satellites.value_or(-1), c.satellites);
    EXPECT_EQ(r->fix, c.fix);
    EXPECT_EQ(r->located, c.located);
    EXPECT_EQ(c.located ? r->altitude : 1742.0, 1742.0);
    ASSERT_EQ(r->utc.has_value(), !std::isnan(c.latitude));
    if (r->utc) {
      EXPECT_EQ(*r->utc, (GpsTime{2024, 3, 21, 4, 30, 15}));
      EXPECT_NEAR(*r->latitude, c.latitude, 1e-9);
      EXPECT_NEAR(*r->longitude, c.longitude, 1e-9);
    }
  }
  // The same sentences from every constellation's talker.
  for (const char* talker : {"GL", "GA", "GB", "BD", "QZ", "GQ", "GI"}) {
    const std::string rmc = std::string(talker) + "RMC,043015,A,3413.6,N,11803.6,W,,,210324,,,A";
    const std::string gga = std::string(talker) + "GGA,043014,3413.6,N,11803.6,W,1,08,,1742,M,,M,,";
    EXPECT_TRUE(ReadNmeaSentence({rmc, true}, kRecordedSince)->utc) << talker;
    EXPECT_TRUE(ReadNmeaSentence({gga, true})->located) << talker;
  }
}

// Every field the reader uses, out of range or malformed, makes the sentence
// one that is not read at all; the unchanged sentences are read.
TEST(NmeaSentences, AFieldOutOfRangeOrMalformedDropsTheSentence) {
  const std::vector<std::string> gga = {"043014.00", "3413.6", "N", "11803.6", "W", "1", "08",
                                        "0.9",       "1742.0", "M", "",        "M", "",  ""};
  const std::vector<std::string> rmc = {"043015.00", "A",      "3413.6", "N", "11803.6", "W", "0.0",
                                        "",          "210324", "",       "",  "A",       "V"};
  struct Case {
    bool isFix;
    size_t field;
    std::vector<const char*> values;
  } cases[] = {
      // clang-format off
      {false, 0, {"1e300", "246000", "236100", "12345", "043015.1234567890", "-43015"}},
      {false, 1, {"X", "AV"}},
      {false, 2, {"9000.0001", "4861.0", "-4807.038", "48O7.0", "1e3", "nan"}},
      {false, 3, {"E", ""}},
      {false, 4, {"18000.0001", "123456.0", "99999999999999999999"}},
      {false, 5, {"N"}},
      {false, 8, {"320124", "001324", "1e300", "21032"}},
      {false, 11, {"AA"}},
      {false, 12, {"9"}},
      {true, 0, {"inf"}},
      {true, 1, {"4807.038.1"}},
      {true, 5, {"9", "-1", "1.0"}},
      {true, 6, {"100", "-1", "1e3"}},
      {true, 8, {"1e300", "nan", "inf", "100001", "-1001", "--5", "+5", "1234567.0"}},
      {false, 99, {""}},  // the unchanged sentences
      {true, 99, {""}},
      // clang-format on
  };
  for (const Case& c : cases) {
    for (const char* value : c.values) {
      std::vector<std::string> fields = c.isFix ? gga : rmc;
      std::string body = c.isFix ? "GPGGA" : "GPRMC";
      if (c.field < fields.size()) fields[c.field] = value;
      for (const std::string& f : fields) body += "," + f;
      EXPECT_EQ(ReadNmeaSentence({body, true}).has_value(), c.field == 99) << body;
    }
  }
}

// What the probe accepts as proof of the rate, whatever came before it.
TEST(NmeaProbe, ARateIsProvedByAStandardSentenceWithItsChecksum) {
  const std::string gga = NmeaSentence("GPGGA,043014,3413.6,N,11803.6,W,1,08,0.9,1742.0,M,,M,,");
  const std::string chn = NmeaSentence("PMTKCHN," + std::string(190, '0'));
  struct Case {
    std::string stream;
    bool proved;
  } cases[] = {
      {gga + "\r\n", true},
      {gga.substr(20) + "\r\n" + gga + "\r\n", true},  // listening began mid-sentence
      {chn.substr(0, 50), false},                      // inside a long proprietary line
      {chn + "\r\n" + NmeaSentence("PGRME,15.0,M,45.0,M,25.0,M") + "\r\n", false},
      {"$Skytraq Venus 8 GPS Receiver\r\n$Kernel Version 1.2\r\n", false},  // a banner
      {NmeaSentence("GNTXT,01,01,02,ANTSTATUS=OK") + "\r\n", true},
      {"$GPGGA," + std::string(600, '1') + "*00\r\n", false},  // overlong
      {std::string(gga).replace(gga.size() - 1, 1, "0") + "\r\n", false},
      {"$GPGGA,043014,3413.6,N,11803.6,W,1,08,0.9,1742.0,M,,M,,\r\n", true},  // no checksums
      {"$GPGSA,A,3,05,12\r\n$GPGGA,,,,,,0,00,,,,,,,\r\n", false},
      {std::string(200, '\xA4') + std::string(100, '\xAA'), false},  // the wrong rate
  };
  for (const Case& c : cases) {
    bool proved = false;
    for (const Sentence& s : Sentences(c.stream)) proved = proved || IsRateEvidence(s);
    EXPECT_EQ(proved, c.proved) << c.stream.substr(0, 60);
  }
}

// A receiver behind by one or more 1024-week eras (more than ten years
// before the reference, the build date in use) has its date moved on by
// whole eras; a date less than ten years before it is an old date, kept as
// it is, which never sets the clock. What is no real date, or lies before
// GPS time began, sets nothing. A year "99" in a sentence read as of 2019 is
// the rollover_1999_weeks capture.
TEST(GpsWeekRollover, OnlyDatesMoreThanTenYearsBeforeTheReferenceMoveOn) {
  const GpsTime in2019{2019, 1, 1, 0, 0, 0};
  const GpsTime in2026{2026, 1, 1, 0, 0, 0};
  const struct {
    GpsTime sent, reference;
    std::optional<GpsTime> read;
    bool setsClock;
  } cases[] = {
      {{1999, 8, 22, 23, 59, 59}, in2019, GpsTime{2019, 4, 7, 23, 59, 59}, true},
      {{2006, 9, 16, 12, 0, 0}, in2026, GpsTime{2026, 5, 2, 12, 0, 0}, true},
      {{1980, 1, 6, 0, 0, 0}, in2026, GpsTime{2019, 4, 7, 0, 0, 0}, false},  // two eras
      {{2015, 12, 31, 0, 0, 0},
       in2026,
       GpsTime{2035, 8, 16, 0, 0, 0},
       true},                                                                // just over ten years
      {{2016, 1, 2, 0, 0, 0}, in2026, GpsTime{2016, 1, 2, 0, 0, 0}, false},  // just under
      {{2024, 3, 21, 4, 30, 15}, in2026, GpsTime{2024, 3, 21, 4, 30, 15}, false},  // a recording
      {{2025, 12, 31, 23, 59, 59}, in2026, GpsTime{2025, 12, 31, 23, 59, 59}, false},
      {{2026, 1, 1, 0, 0, 0}, in2026, GpsTime{2026, 1, 1, 0, 0, 0}, true},  // the reference itself
      {{2026, 3, 1, 1, 2, 3}, in2026, GpsTime{2026, 3, 1, 1, 2, 3}, true},  // already later
      {{1980, 1, 5, 0, 0, 0}, in2026, std::nullopt, false},                 // before GPS time
      {{2003, 2, 29, 0, 0, 0}, in2026, std::nullopt, false},                // no such day
  };
  for (const auto& c : cases) {
    const std::optional<GpsTime> read = UnrollGpsWeeks(c.sent, c.reference);
    EXPECT_EQ(read, c.read) << c.sent.year << "-" << c.sent.month;
    EXPECT_EQ(read && MaySetClock(*read, c.reference), c.setsClock) << c.sent.year;
  }
  const GpsTime built = BuildDate();
  EXPECT_TRUE(IsValidGpsTime(built) && built.year >= 2024) << built.year;
}

}  // namespace
}  // namespace location::gps
