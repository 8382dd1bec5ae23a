// One hardware family as the line-safety tests and the benchmark drive it:
// its controller emulator on a pseudo-terminal, the models that use it, and
// what its requests mean on the wire (read, halt, start of a motion), so
// that one test can be written once for the three families.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "emulators/family1/family1_emulator.h"
#include "emulators/family2/family2_emulator.h"
#include "emulators/family3/family3_emulator.h"

namespace sidera::testing {

// What a request does, as the wire tables give it.
enum class Wire { kRead, kHalt, kStart };

class LineFamily {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~LineFamily() = default;

  virtual std::string Name() const = 0;
  virtual int AltAzModel() const = 0;
  virtual int EquatorialModel() const = 0;  // -1: the family has none
  // A fresh emulator with the controllers' own speeds (a goto of 40 degrees
  // takes several seconds); false when it cannot start.
  virtual bool Start() = 0;
  virtual std::string Device() const = 0;
  virtual void SetSilent(bool silent) = 0;
  virtual void SetReplyDelay(int ms) = 0;
  virtual void ClearRequests() = 0;
  // When the first request of `what` for `axis` arrived, waiting up to
  // `timeoutMs` for one.
  virtual std::optional<Clock::time_point> Arrival(Wire what, int axis, int timeoutMs) = 0;
  // Whether one arrived at or after `since`.
  virtual bool ArrivedSince(Wire what, int axis, Clock::time_point since) = 0;
  // The controller moves the axis.
  virtual bool Moving(int axis) = 0;
  virtual void Stop() = 0;
  // Line faults for the soak: kind 0 clears every fault; kinds 1 to
  // FaultKinds() - 1 are the family's own (a silent axis, noise, malformed or
  // slow replies, an axis that brakes slowly or never stops), on `axis`
  // where they concern one.
  virtual int FaultKinds() const = 0;
  virtual void SetFault(int kind, int axis) = 0;
};

// The three families, in order (packet bus, byte commands, hex commands).
// `quick`: controllers that move fast, for runs with many motions.
std::unique_ptr<LineFamily> MakeLineFamily(int family, bool quick = false);

}  // namespace sidera::testing
