// NMEA 0183 framing: cutting the byte stream into sentences, checking their
// checksums, and reading a sentence's address (talker and type).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace location::gps {

// One sentence as it came off the line: the text between "$" and "*" (or
// the end of the line), and whether a checksum followed it (it was right,
// or the sentence would not have been handed out).
struct Sentence {
  std::string body;
  bool checksummed = false;
  bool operator==(const Sentence&) const = default;
};

// Cuts a byte stream into sentences. Dropped whole: a body longer than the
// buffer, one with a byte that NMEA does not allow in a sentence (anything
// but printable ASCII, as a line at the wrong rate delivers), and one whose
// checksum (two hex digits after "*") is wrong or broken. A "$" always
// starts a new sentence, so a sentence cut short by the next one is dropped
// too.
class SentenceAssembler {
 public:
  static constexpr size_t kCapacity = 512;
  // The sentence this byte completes, if any.
  std::optional<Sentence> Feed(uint8_t byte);

 private:
  enum class State { kIdle, kBody, kChecksum };
  std::optional<Sentence> Finish(bool checksumPresent);
  State state_ = State::kIdle;
  std::string body_;
  std::string checksum_;
};

// "GNRMC,..." -> talker "GN", type "RMC", fields "...". Every standard
// sentence has a two-letter talker and a three-letter type; proprietary
// sentences ("$P" and a maker's code, such as $PMTK or $PGRM) and anything
// else have no address here.
struct Address {
  std::string_view talker;
  std::string_view type;
  std::string_view fields;  // the text after the comma that ends the address
};
std::optional<Address> SplitAddress(std::string_view body);

}  // namespace location::gps
