// NMEA 0183 input: cutting the byte stream into sentences, checking their
// checksums, and reading the fix (GGA) and recommended-minimum (RMC)
// sentences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace location::gps {

// Cuts a byte stream into sentence bodies: the text after "$" up to "*" or
// the end of the line. A body longer than the buffer is dropped whole, and
// so is one whose checksum (two hex digits after "*") is present and wrong;
// a "$" always starts a new sentence, so a sentence cut short by the next
// one is dropped too.
class SentenceAssembler {
 public:
  static constexpr size_t kCapacity = 512;
  // The body this byte completes, if any.
  std::optional<std::string> Feed(uint8_t byte);

 private:
  enum class State { kIdle, kBody, kChecksum };
  std::optional<std::string> Finish(bool checksumPresent);
  State state_ = State::kIdle;
  std::string body_;
  std::string checksum_;
};

// The fields of a fix sentence as far as they converted.
struct FixSentence {
  int fields = 0;  // leading fields converted, up to 9
  double time = 0;
  double latitude = 0;  // NMEA ddmm.mmmm
  char northSouth = 0;
  double longitude = 0;  // NMEA dddmm.mmmm
  char eastWest = 0;
  int quality = 0;
  int satellites = 0;
  double dilution = 0;
  double altitude = 0;  // metres above sea level
};

struct RecommendedMinimum {
  int fields = 0;   // leading fields converted, up to 9
  double time = 0;  // hhmmss.ss
  char status = 0;  // 'A' valid, 'V' void
  double latitude = 0;
  char northSouth = 0;
  double longitude = 0;
  char eastWest = 0;
  double speed = 0;
  double course = 0;
  long date = 0;  // ddmmyy
};

// `fields` is the text after the sentence name ("GPGGA,").
FixSentence ParseFix(std::string_view fields);
// A receiver standing still may leave speed and course empty; those two
// fields count as converted (as 0) when empty.
RecommendedMinimum ParseRecommendedMinimum(std::string_view fields);

// dddmm.mmmm -> degrees (whole degrees + minutes / 60), negated for the
// southern or western letter (either case). Nothing for a letter that is not
// one of the axis's two, minutes of 60 or more, or an angle beyond the limit.
std::optional<double> NmeaLatitude(double value, char northSouth);
std::optional<double> NmeaLongitude(double value, char eastWest);

}  // namespace location::gps
