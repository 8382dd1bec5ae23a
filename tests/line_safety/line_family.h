// One hardware family as the line-safety tests, the soak and the benchmark
// drive it: its controller emulator on a pseudo-terminal, the models that
// use it, what its requests mean on the wire (read, halt, start of a
// motion) and its line faults, so that a test is written once for the three
// families; and a mount created on it through the exported operations.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "emulators/byte_command/byte_command_emulator.h"
#include "emulators/hex_command/hex_command_emulator.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

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
  // When the first request of `what` for `axis` at or after `since`
  // arrived, waiting up to `timeoutMs` for one.
  virtual std::optional<Clock::time_point> Arrival(Wire what, int axis, int timeoutMs,
                                                   Clock::time_point since = {}) = 0;
  // How many requests of `what` for `axis` came since ClearRequests.
  virtual int Count(Wire what, int axis) = 0;
  // How many requests of any kind came since ClearRequests.
  virtual int RequestCount() = 0;
  // Where the controller's axis stands now (radians, its own frame).
  virtual double ControllerAngle(int axis) = 0;
  // The controller moves the axis.
  virtual bool Moving(int axis) = 0;
  virtual void Stop() = 0;
  // Line faults for the soak: kind 0 clears every fault; kinds 1 to
  // FaultKinds() - 1 are the family's own (a silent axis, noise, malformed or
  // slow replies, an axis that brakes slowly or never stops), on `axis`
  // where they concern one. The last is the same on every family: gotos are
  // taken but the axes do not move.
  virtual int FaultKinds() const = 0;
  virtual void SetFault(int kind, int axis) = 0;
};

// The three families, in order (packet bus, byte commands, hex commands).
// `quick`: controllers that move fast, for runs with many motions.
std::unique_ptr<LineFamily> MakeLineFamily(int family, bool quick = false);

// The family's alt-azimuth or equatorial model created on a fresh emulator
// (CreateMount's result in `created`, -1 when the emulator did not start);
// destroyed with it.
struct MountOnLine {
  MountOnLine(int family, bool equatorial, bool quick = false);
  ~MountOnLine();
  std::unique_ptr<LineFamily> line;
  int created = -1;
};

// Reads the mount state, both axis states and both positions `hz` times a
// second on a thread of its own (none at 0 Hz) and keeps the first
// no-response code it sees, and when.
class StatePoller {
 public:
  explicit StatePoller(int hz);
  ~StatePoller() { Stop(); }
  void Stop();
  int Seen() const { return seen_; }
  LineFamily::Clock::time_point SeenAt() const;

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::atomic<int64_t> seenAt_{0};
  std::thread thread_;
};

// Polls `done` every 2 ms; false if it has not become true within `limitMs`.
bool Eventually(const std::function<bool()>& done, int limitMs);

}  // namespace sidera::testing
