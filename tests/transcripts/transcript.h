// Wire transcripts: for each protocol family, a data file of exchanges
// (meaning, request bytes, reply bytes) that one runner replays against the
// family's driver and against its controller emulator. The file format is
// described at the top of every data file; a family takes part by
// registering a codec (RegisterFamily) next to its data file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/emulators/line_client.h"

namespace sidera::transcripts {

using Bytes = std::vector<uint8_t>;

// "3B 03 32 10 01 BA".
std::string Hex(const Bytes& bytes);

struct Step {
  int line = 0;  // 1-based line of the data file
  std::string meaning;
  Bytes request;
  Bytes reply;
};

struct Session {
  std::string name;
  bool driverOnly = false;  // no emulator: a capture, or replies it would never give
  std::vector<Step> steps;
};

struct TranscriptFile {
  std::string path;
  std::vector<std::string> lines;  // as read, for rewriting
  std::vector<Session> sessions;
  std::string error;  // the first line that could not be read, empty when none
};

TranscriptFile ReadTranscript(const std::string& path);

// Writes the file back with each step's bytes as they now stand; comments,
// meanings and column layout are kept. False when it cannot be written.
bool RewriteTranscript(const TranscriptFile& file);

// ---- What a family provides. ----

// The family's driver, built on the serial port whose far end the runner
// plays (the port SIDERA_SERIAL_PATTERN names when it is constructed).
class DriverEnd {
 public:
  virtual ~DriverEnd() = default;
  // Carries out `meaning` through the driver's protocol operations; empty
  // when the outcome (result code, decoded values) agrees with it, otherwise
  // what differs.
  virtual std::string Perform(const std::string& meaning) = 0;
};

// The family's controller emulator, new and at rest for every session.
class EmulatorEnd {
 public:
  virtual ~EmulatorEnd() = default;
  // Sends one request; the controller's reply, empty when none came.
  virtual Bytes Exchange(const Bytes& request) = 0;
  // Empty when the emulator's state after the step agrees with `meaning`.
  virtual std::string Check(const std::string& meaning) = 0;
};

struct FamilyCodec {
  std::string name;  // the data file is <name>.transcript
  // Bytes in the request frame that `received` starts with; 0 while that
  // cannot be told yet.
  std::function<size_t(const Bytes& received)> requestLength;
  // The line hands every request back to its sender before the reply.
  bool echoesRequests = false;
  std::function<std::unique_ptr<DriverEnd>()> newDriver;
  // Null while the family has no emulator: its sessions run on the driver only.
  std::function<std::unique_ptr<EmulatorEnd>()> newEmulator;
};

// Call from a namespace-scope initializer in the family's codec file.
bool RegisterFamily(FamilyCodec codec);
const std::vector<FamilyCodec>& Families();

// ---- Helpers for codecs. ----

// A family's emulator with its clock stopped, so that its replies depend on
// the requests alone (gotos stay in progress, rates move nothing), and the
// test's end of its line.
template <typename Emulator, typename Options>
class FrozenEmulator : public EmulatorEnd {
 protected:
  FrozenEmulator() : emu_(Frozen()) {
    if (emu_.Start()) line_ = std::make_unique<emulator::testing::LineClient>(emu_.DevicePath());
  }
  bool LineOpen() const { return line_ != nullptr && line_->IsOpen(); }

  Emulator emu_;
  std::unique_ptr<emulator::testing::LineClient> line_;

 private:
  static Options Frozen() {
    Options o;
    o.timeScale = 0.0;
    return o;
  }
};

// A meaning in words: MESSAGE ARGUMENT... [= RESULT].
struct Meaning {
  std::string message;
  std::vector<std::string> arguments;
  int axis = -1;         // the first argument when it is 0 or 1, else -1
  std::string argument;  // the argument after that axis, empty when none
  std::string result;    // the words after '=', single-spaced; empty when none
  bool noReply = false;  // "= no reply"
};
Meaning SplitMeaning(const std::string& text);

// A number followed directly by one of `units` ({name, factor}), times
// that factor: "-90deg". NaN for anything else.
double Quantity(const std::string& text,
                std::initializer_list<std::pair<const char*, double>> units);
// 0..255, decimal or 0x-prefixed; -1 for anything else.
int ByteValue(const std::string& text);

// Judges one driver operation. For "= no reply" the result must be
// `noReplyCode` and no value handed out; otherwise the result must be 0 and
// `checkValue` (called only when the meaning names a result; null for an
// operation that decodes nothing) must be empty.
std::string Verdict(const Meaning& meaning, int result, int noReplyCode, bool wroteValue,
                    const std::function<std::string()>& checkValue);

}  // namespace sidera::transcripts
