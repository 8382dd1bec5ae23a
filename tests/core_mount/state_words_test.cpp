// Words that several threads change at once: the mount state and the
// tracking reference. Each test races a writer against a reader for a
// bounded time and counts the rounds that saw a torn or lost value.
#include <atomic>
#include <chrono>
#include <thread>

#include "scripted_mount.h"
#include "tests/support/published_state_access.h"

namespace sidera::testing {
namespace {

// Runs `round` (which returns whether it saw a fault) while `other` runs on
// a second thread, from the moment that thread is under way until a fault
// or the time is up; the number of faulty rounds.
template <typename Other, typename Round>
int RaceFor(std::chrono::milliseconds time, Other other, Round round) {
  std::atomic<bool> started{false}, done{false};
  std::thread t([&] {
    started = true;
    while (!done) other();
  });
  while (!started) std::this_thread::yield();
  const auto end = std::chrono::steady_clock::now() + time;
  int faults = 0;
  while (faults == 0 && std::chrono::steady_clock::now() < end) {
    for (int i = 0; i < 1000; ++i) faults += round() ? 1 : 0;
  }
  done = true;
  t.join();
  return faults;
}

// While both axes are stopped the state derivation keeps exactly the
// tracking bit; a tracking start or stop that sets or clears the bit while
// the state is derived must never be undone by it.
TEST(StateWords, ATrackingBitChangedWhileTheStateIsDerivedIsNeverLost) {
  // Axes that read at once, so that the derivation runs as often as it can.
  struct InstantAxes : TelescopeMount {
    MountResult ReadAxisState(int) override { return kOk; }
  } m;
  const int lost = RaceFor(
      std::chrono::milliseconds(1000), [&] { (void)m.UpdateMountState(); },
      [&] {
        std::atomic<uint32_t>& word = PublishedStateAccess::MountState(m);
        word.fetch_or(MOUNT_TRACKING);
        const bool setLost = (word & MOUNT_TRACKING) == 0;
        word.fetch_and(~MOUNT_TRACKING);
        return setLost || (word & MOUNT_TRACKING) != 0;
      });
  EXPECT_EQ(lost, 0);
}

// A derivation that read the axes before a tracking stop, and writes after
// it, must not put back what the stop ended: once SetTracking(0) has
// returned, the word says stopped (not "tracking", not "slewing" from the
// rate read before the halt), whichever thread derived it meanwhile.
TEST(StateWords, AStateReadBeforeATrackingStopIsNotPublishedAfterIt) {
  // Axis 0 tracks; the first read of axis 1 that is let wait holds the
  // deriving thread between its two reads until the stop is done.
  struct HeldReads : ScriptedMount {
    HeldReads() : ScriptedMount(1) {}
    std::atomic<bool> hold{false}, held{false}, release{false};
    MountResult ReadAxisState(int axis) override {
      if (axis == 1 && hold.exchange(false)) {
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      return ScriptedMount::ReadAxisState(axis);
    }
  } m;
  ASSERT_EQ(m.SlewAxisAtRate(0, kSiderealRate), kOk);
  PublishedStateAccess::MountState(m) = MOUNT_TRACKING;
  m.hold = true;
  std::thread deriving([&] { (void)m.UpdateMountState(); });
  ASSERT_TRUE(Eventually([&] { return m.held.load(); }));
  ASSERT_EQ(m.SetTracking(0), kOk);
  m.release = true;
  deriving.join();
  EXPECT_EQ(m.Published().MountState(), MOUNT_STOPPED);
}

// The tracking threads compute rates from the reference position and the
// tick it was captured at: a reader must get both from the same capture.
TEST(StateWords, TheTrackingReferenceIsReadAsTheCapturedPair) {
  ScriptedMount m;
  uint32_t i = 0;
  const int torn = RaceFor(
      std::chrono::milliseconds(300),
      [&] {
        ++i;
        m.TrackingReference().Store(SkyPoint{static_cast<double>(i), -static_cast<double>(i)}, i);
      },
      [&] {
        const SkyReference::Value v = m.TrackingReference().Load();
        return v.point.hourAngle != v.tick || v.point.declination != -v.point.hourAngle;
      });
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace sidera::testing
