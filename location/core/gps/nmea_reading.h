// What one NMEA sentence tells the GPS reader, whatever the receiver's talker
// (GP, GN, GL, GA, GB, BD, QZ, ...), and whether a sentence proves that the
// line is read at the receiver's baud rate.
#pragma once

#include <optional>
#include <string>

#include "location/core/gps/clock_service.h"
#include "location/core/gps/gps_week_rollover.h"
#include "location/core/gps/nmea.h"

namespace location::gps {

struct NmeaReading {
  std::string talker;  // "GP", "GN", ...
  // From a fix sentence (GGA).
  std::optional<int> satellites;  // the count it gave, whatever the fix quality
  // Quality 1 (GPS) or 2 (differential) with time, position, satellites and
  // altitude: the page shows its satellite count. Estimated, manual and
  // simulated fixes (6, 7, 8) are not fixes.
  bool fix = false;
  // A fix with more than three satellites: the receiver is located and
  // `altitude` is the elevation.
  bool located = false;
  double altitude = 0;
  // From a recommended-minimum sentence (RMC) with status A whose position,
  // date and time are all there and real: the site, and the time that sets
  // the clock. Status V, and the modes "not valid", "simulator" and "manual
  // input" (N, S, M), give neither.
  std::optional<double> latitude, longitude;
  std::optional<GpsTime> utc;
};

// Nothing for a sentence that is not a GGA or RMC, or is malformed. Dates
// more than ten years before `datesFrom` are taken as a receiver's behind by
// week-number rollovers and moved on (see gps_week_rollover.h).
std::optional<NmeaReading> ReadNmeaSentence(const Sentence& sentence,
                                            const GpsTime& datesFrom = BuildDate());

// True when the sentence could only have come from a receiver read at the
// right rate: a standard (not proprietary) sentence with a correct checksum,
// or, from a receiver that sends no checksums, a GGA or RMC with a time.
bool IsRateEvidence(const Sentence& sentence);

}  // namespace location::gps
