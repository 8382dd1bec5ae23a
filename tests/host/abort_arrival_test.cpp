// An abort reaches the controller while the calls lane waits on a controller
// that answers reads late: a hex-command mount on its emulator, paced at its
// real 9600 baud, answering reads 2 s late once its goto has started. The
// stop of everything runs on the stop lane, beside the held-up poll, and
// both axes' halts arrive. How soon is measured by bench_abort_latency; the
// bound here only tells an abort that arrives from one that never does.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "emulators/hex_command/hex_command_emulator.h"
#include "host/mount_worker.h"
#include "sidera.h"

namespace sidera {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using emulator::HexCommandRequest;

constexpr double kDegree = 3.141592653589793 / 180.0;

TEST(AbortArrival, TheStopLaneHaltsBothAxesWhileAReadWaitsOnALateController) {
  emulator::HexCommandOptions o;
  o.pace = true;
  o.readDelayAfterConnectMs = 2000;
  emulator::HexCommandEmulator controller(o);
  ASSERT_TRUE(controller.Start());
  ASSERT_EQ(setenv("SIDERA_SERIAL_PATTERN", controller.DevicePath().c_str(), 1), 0);
  SetComPort(4);  // any number: the pattern names the emulator's terminal

  host::MountWorker worker;
  ASSERT_EQ(worker.calls.Call([] { return CreateMount(3, 40 * kDegree, 100.0); }, 30s), SIDERA_OK);
  ASSERT_EQ(worker.calls.Call([] { return GotoAxes(60 * kDegree, 60 * kDegree); }, 30s), SIDERA_OK);
  ASSERT_TRUE(
      controller.WaitForRequest([](const HexCommandRequest& r) { return r.letter == 'J'; }, 10000));
  // A poll on the calls lane, now held up by the late reads.
  worker.calls.Post([] {
    AxisPair axes{};
    (void)GetAxisPositions(&axes);
  });
  std::this_thread::sleep_for(300ms);
  const auto asked = Clock::now();
  worker.stops.Post([] { (void)host::StopEverything(); });
  for (const int axis : {0, 1}) {
    SCOPED_TRACE(axis);
    const auto halt = [&](const HexCommandRequest& r) {
      return r.axis == axis && (r.letter == 'K' || r.letter == 'L') && r.at >= asked;
    };
    EXPECT_TRUE(controller.WaitForRequest(halt, 10000));
  }
  worker.Stop();
  EXPECT_EQ(DestroyMount(), SIDERA_OK);
  unsetenv("SIDERA_SERIAL_PATTERN");
}

}  // namespace
}  // namespace sidera
