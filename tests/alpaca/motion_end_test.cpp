// A park end that a failed read must not lose: the telescope on model 1 over
// its emulator, whose replies are garbled for a moment while the park ends.
// (Guide pulse ends, which make no read, are tested in the host suite.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "alpaca/alpaca_errors.h"
#include "alpaca/telescope.h"
#include "emulators/packet_bus/packet_bus_emulator.h"
#include "tests/alpaca/telescope_on_emulator.h"
#include "tests/support/wait_for.h"

namespace sidera::alpaca {
namespace {

using namespace std::chrono_literals;

using sidera::testing::WaitFor;

class MotionEnd : public TelescopeOnEmulator {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartTelescope("motion_end", [](ServerConfig& config) {
      config.parkAxis0 = -30;
      config.parkAxis1 = 30;
    }));
    telescope_->SetConnected(1, true);
  }
  // Replies of `axis` come 2 bytes short (-1: none do).
  void Garble(int axis) {
    emu_->UpdateOptions([axis](emulator::PacketBusOptions& o) { o.shortPacketAxis = axis; });
  }
};

TEST_F(MotionEnd, ParkIsRecordedThoughARefreshFailedOnTheWay) {
  telescope_->Park();
  std::this_thread::sleep_for(300ms);  // under way
  // Refreshes while the right-ascension controller garbles its replies,
  // until one fails (well before the line counts as dead).
  Garble(0);
  bool failed = false;
  for (int i = 0; i < 4 && !failed; ++i) {
    std::this_thread::sleep_for(host::kSnapshotInterval);
    try {
      (void)telescope_->Read();
    } catch (const DeviceError&) {
      failed = true;
    }
  }
  Garble(-1);
  ASSERT_TRUE(failed);
  EXPECT_TRUE(WaitFor([&] { return !emu_->GotoInProgress(0) && !emu_->GotoInProgress(1); }, 20s));
  // The refreshes that follow find the park's end in the library's record.
  EXPECT_TRUE(WaitFor([&] { return !telescope_->View().slewing; }, 20s));
  EXPECT_TRUE(telescope_->AtPark());
}

}  // namespace
}  // namespace sidera::alpaca
