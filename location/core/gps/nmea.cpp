// NMEA sentence assembly, checksum check and field parsing.
#include "location/core/gps/nmea.h"

#include <charconv>
#include <cmath>
#include <type_traits>
#include <vector>

namespace location::gps {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Splits at commas; the text after the last comma is a field too.
std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t comma = text.find(',');
    fields.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

template <typename T>
bool Convert(std::string_view field, T& out) {
  if (field.empty()) return false;
  const char* first = field.data();
  if (*first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, field.data() + field.size(), out);
  if constexpr (std::is_floating_point_v<T>) {
    if (ec == std::errc() && !std::isfinite(out)) return false;
  }
  return ec == std::errc() && ptr == field.data() + field.size();
}

bool Convert(std::string_view field, char& out) {
  if (field.size() != 1) return false;
  out = field[0];
  return true;
}

// Converts fields in order into `targets` and returns how many converted
// before the first that did not.
template <typename... T>
int ConvertLeading(const std::vector<std::string_view>& fields, T&... targets) {
  int converted = 0;
  bool going = true;
  auto one = [&](auto& target) {
    if (going && static_cast<size_t>(converted) < fields.size() &&
        Convert(fields[converted], target)) {
      ++converted;
    } else {
      going = false;
    }
  };
  (one(targets), ...);
  return converted;
}

}  // namespace

std::optional<std::string> SentenceAssembler::Finish(bool checksumPresent) {
  state_ = State::kIdle;
  if (checksumPresent) {
    uint8_t sum = 0;
    for (const char c : body_) sum ^= static_cast<uint8_t>(c);
    if (HexValue(checksum_[0]) * 16 + HexValue(checksum_[1]) != sum) return std::nullopt;
  }
  return std::move(body_);
}

std::optional<std::string> SentenceAssembler::Feed(uint8_t byte) {
  const char c = static_cast<char>(byte);
  if (c == '$') {
    state_ = State::kBody;
    body_.clear();
    checksum_.clear();
    return std::nullopt;
  }
  switch (state_) {
    case State::kIdle:
      return std::nullopt;
    case State::kBody:
      if (c == '*') {
        state_ = State::kChecksum;
      } else if (c == '\r' || c == '\n') {
        return Finish(false);
      } else if (body_.size() >= kCapacity) {
        state_ = State::kIdle;  // overlong: dropped whole
        body_.clear();
      } else {
        body_ += c;
      }
      return std::nullopt;
    case State::kChecksum:
      if (HexValue(c) >= 0) {
        checksum_ += c;
        return checksum_.size() == 2 ? Finish(true) : std::nullopt;
      }
      if (checksum_.empty() && (c == '\r' || c == '\n')) return Finish(false);
      state_ = State::kIdle;  // a broken checksum field
      return std::nullopt;
  }
  return std::nullopt;
}

FixSentence ParseFix(std::string_view text) {
  FixSentence s;
  s.fields = ConvertLeading(SplitFields(text), s.time, s.latitude, s.northSouth, s.longitude,
                            s.eastWest, s.quality, s.satellites, s.dilution, s.altitude);
  return s;
}

RecommendedMinimum ParseRecommendedMinimum(std::string_view text) {
  std::vector<std::string_view> fields = SplitFields(text);
  // Speed and course (fields 6 and 7) may be empty on a receiver at rest.
  for (size_t i = 6; i <= 7 && i < fields.size(); ++i) {
    if (fields[i].empty()) fields[i] = "0";
  }
  RecommendedMinimum s;
  s.fields = ConvertLeading(fields, s.time, s.status, s.latitude, s.northSouth, s.longitude,
                            s.eastWest, s.speed, s.course, s.date);
  return s;
}

namespace {

std::optional<double> NmeaAngle(double value, char letter, char positive, char negative,
                                double limit) {
  const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 32) : letter;
  if (upper != positive && upper != negative) return std::nullopt;
  if (!std::isfinite(value) || value < 0) return std::nullopt;
  const double degrees = std::floor(value / 100.0);
  const double minutes = value - degrees * 100.0;
  const double angle = degrees + minutes / 60.0;
  if (minutes >= 60.0 || angle > limit) return std::nullopt;
  return upper == negative ? -angle : angle;
}

}  // namespace

std::optional<double> NmeaLatitude(double value, char northSouth) {
  return NmeaAngle(value, northSouth, 'N', 'S', 90.0);
}

std::optional<double> NmeaLongitude(double value, char eastWest) {
  return NmeaAngle(value, eastWest, 'E', 'W', 180.0);
}

}  // namespace location::gps
