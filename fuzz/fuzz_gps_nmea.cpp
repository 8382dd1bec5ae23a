// Feeds arbitrary line bytes to the GPS reader's NMEA sentence assembler,
// and every sentence it hands out to the reader's rules and the baud
// probe's test; the raw bytes also go straight to the GGA and RMC field
// parsers as the text after a sentence's address. Checks: a sentence is
// printable text that fits the buffer; whatever a sentence gives (angles,
// time, date, satellites, fix quality, altitude) is within its range, and a
// time that would set the clock is a real one.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "location/core/gps/nmea.h"
#include "location/core/gps/nmea_fields.h"
#include "location/core/gps/nmea_reading.h"

namespace {

namespace gps = location::gps;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Within(const std::optional<double>& value, double limit) {
  return !value || (std::isfinite(*value) && std::fabs(*value) <= limit);
}

void CheckTime(const std::optional<gps::TimeOfDay>& t) {
  if (t)
    Require(t->hour >= 0 && t->hour < 24 && t->minute >= 0 && t->minute < 60 && t->second >= 0 &&
            t->second <= 60);
}

void CheckFix(const std::optional<gps::FixSentence>& gga) {
  if (!gga) return;
  CheckTime(gga->time);
  Require(Within(gga->latitude, 90) && Within(gga->longitude, 180));
  Require(!gga->quality || (*gga->quality >= 0 && *gga->quality <= 8));
  Require(!gga->satellites || (*gga->satellites >= 0 && *gga->satellites <= 99));
  Require(!gga->altitude || (*gga->altitude >= -1000 && *gga->altitude <= 100000));
}

void CheckMinimum(const std::optional<gps::RecommendedMinimum>& rmc) {
  if (!rmc) return;
  CheckTime(rmc->time);
  Require(rmc->status == 0 || rmc->status == 'A' || rmc->status == 'V');
  Require(Within(rmc->latitude, 90) && Within(rmc->longitude, 180));
  if (rmc->date) {
    // Two-digit years 80..99 are 1980..1999 (a receiver hit by the week
    // rollover), 00..79 are 2000..2079.
    Require(rmc->date->year >= 1980 && rmc->date->year <= 2079 && rmc->date->month >= 1 &&
            rmc->date->month <= 12 && rmc->date->day >= 1 && rmc->date->day <= 31);
  }
}

void CheckReading(const std::optional<gps::NmeaReading>& r) {
  if (!r) return;
  Require(r->talker.size() == 2);
  Require(!r->located || (r->fix && *r->satellites > 3 && r->altitude >= -1000));
  Require(r->utc.has_value() == r->latitude.has_value() &&
          r->utc.has_value() == r->longitude.has_value());
  if (r->utc) {
    Require(gps::IsValidGpsTime(*r->utc));
    Require(Within(r->latitude, 90) && Within(r->longitude, 180));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gps::SentenceAssembler assembler;
  for (size_t i = 0; i < size; ++i) {
    const std::optional<gps::Sentence> sentence = assembler.Feed(data[i]);
    if (!sentence) continue;
    Require(sentence->body.size() <= gps::SentenceAssembler::kCapacity);
    for (const char c : sentence->body) Require(c >= 0x20 && c <= 0x7E && c != '$' && c != '*');
    CheckReading(gps::ReadNmeaSentence(*sentence));
    (void)gps::IsRateEvidence(*sentence);
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckFix(gps::ParseFix(text));
  CheckMinimum(gps::ParseRecommendedMinimum(text));
  for (const char* address : {"GNGGA,", "GPRMC,"}) {
    CheckReading(gps::ReadNmeaSentence({address + std::string(text), false}));
  }
  return 0;
}
