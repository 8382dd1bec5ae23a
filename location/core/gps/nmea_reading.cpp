// The reader's rules for the fix and recommended-minimum sentences.
#include "location/core/gps/nmea_reading.h"

#include "location/core/gps/gps_week_rollover.h"
#include "location/core/gps/nmea_fields.h"

namespace location::gps {
namespace {

// RMC mode indicators that report a position worked out from satellites:
// autonomous, differential, estimated, float RTK, precise, RTK.
constexpr std::string_view kFixModes = "ADEFPR";

void Read(const FixSentence& gga, NmeaReading& r) {
  r.satellites = gga.satellites;
  r.fix = (gga.quality == 1 || gga.quality == 2) && gga.time && gga.latitude && gga.longitude &&
          gga.satellites && gga.altitude;
  if (r.fix && *gga.satellites > 3) {
    r.located = true;
    r.altitude = *gga.altitude;
  }
}

void Read(const RecommendedMinimum& rmc, const GpsTime& datesFrom, NmeaReading& r) {
  if (rmc.status != 'A') return;
  if (rmc.mode != 0 && kFixModes.find(rmc.mode) == std::string_view::npos) return;
  if (!rmc.time || !rmc.date || !rmc.latitude || !rmc.longitude) return;
  const GpsTime sent{rmc.date->year, rmc.date->month,  rmc.date->day,
                     rmc.time->hour, rmc.time->minute, rmc.time->second};
  // A receiver behind by whole week-number eras gets its date moved on;
  // 30 February, a leap second or a date before GPS time are not times to
  // set.
  const std::optional<GpsTime> utc = UnrollGpsWeeks(sent, datesFrom);
  if (!utc) return;
  r.latitude = rmc.latitude;
  r.longitude = rmc.longitude;
  r.utc = utc;
}

}  // namespace

std::optional<NmeaReading> ReadNmeaSentence(const Sentence& sentence, const GpsTime& datesFrom) {
  const std::optional<Address> address = SplitAddress(sentence.body);
  if (!address) return std::nullopt;
  NmeaReading reading;
  reading.talker = std::string(address->talker);
  if (address->type == "GGA") {
    const std::optional<FixSentence> gga = ParseFix(address->fields);
    if (!gga) return std::nullopt;
    Read(*gga, reading);
  } else if (address->type == "RMC") {
    const std::optional<RecommendedMinimum> rmc = ParseRecommendedMinimum(address->fields);
    if (!rmc) return std::nullopt;
    Read(*rmc, datesFrom, reading);
  } else {
    return std::nullopt;
  }
  return reading;
}

bool IsRateEvidence(const Sentence& sentence) {
  const std::optional<Address> address = SplitAddress(sentence.body);
  if (!address) return false;
  if (sentence.checksummed) return true;
  if (address->type == "GGA") {
    const std::optional<FixSentence> gga = ParseFix(address->fields);
    return gga && gga->time;
  }
  if (address->type == "RMC") {
    const std::optional<RecommendedMinimum> rmc = ParseRecommendedMinimum(address->fields);
    return rmc && rmc->time;
  }
  return false;
}

}  // namespace location::gps
