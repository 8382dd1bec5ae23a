// A seeded random soak of the exported operations.
//
// Each seed picks a model (one of the two simulators, or a mount of one of
// the three hardware families on its controller emulator) and lets two host
// threads issue random calls: gotos, hand moves, stops, tracking,
// alignments, syncs, backlash, read-outs, destroy and create, and on the
// emulator line the family's faults switched on and off (silent axes, noise,
// malformed, cut and slow replies, every reply 120 or 300 ms late as over a
// radio bridge, so that stops cut exchanges short; on the hex-command family also an axis
// that brakes for five seconds and one that never reports stopped). After
// every call: it returned within its bound with a code it may return. At the
// end, on a healthy line: tracking off and a stop of both axes leave the
// mount and the emulator's axes at rest, and destroying the mount leaves no
// thread of the library running.
//
// SIDERA_SOAK_SEEDS sets how many seeds run (default 30, about a minute
// under the thread sanitizer) from SIDERA_SOAK_FIRST_SEED (default 1);
// SIDERA_SOAK_SEED replays one seed.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"

namespace {

using RealClock = std::chrono::steady_clock;
using sidera::testing::Eventually;
using sidera::testing::LineFamily;

constexpr double kPi = 3.141592653589793;
constexpr double kSidereal = 2 * kPi / 86164.09065;
// Real seconds a call may take: a guard against a hang, not a speed check.
// On a controller that falls silent while the other thread stops the axes,
// one exchange is cut short and sent again for up to 2 s, then waits up to
// 2 s more for the reply the last cut one still owes, then its own read
// times out (0.5 s). CreateMount sends 10 to 14 packets, each on a line
// that may be slowed to 300 ms a reply, so it shares the bound of
// DestroyMount.
constexpr double kCallBound = 5.0;
constexpr double kLongBound = 5.5;
constexpr int kStepsPerThread = 40;
// The library's clock runs faster than real time (the serial line does not):
// gotos of the simulators and the tick-counted waits shrink.
constexpr double kSimulatorClockScale = 50.0;
constexpr double kEmulatorClockScale = 10.0;

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

int ThreadCount() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// The hardware family of a model (0: a simulator).
int FamilyOf(int model) {
  if (model == 0 || model == 1) return 1;
  if (model >= 8) return 2;
  return model >= 2 && model <= 5 ? 3 : 0;
}

// The slowest call of the run, for the summary line.
std::mutex g_slowestMutex;
double g_slowest = 0.0;
std::string g_slowestCall;

class HostThread {
 public:
  HostThread(int model, double latitude, LineFamily* line, uint32_t seed)
      : model_(model), latitude_(latitude), line_(line), random_(seed) {}

  void Run() {
    for (int step = 0; step < kStepsPerThread; ++step) {
      Step();
      // Let the motions run into the next calls.
      if (Pick(3) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(Pick(60)));
    }
  }

 private:
  double U(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }
  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

  // Runs `call`: it answers 0, 3 (the other thread destroyed the mount),
  // 100, 101, on a line 105, one of `extra`, or on the hex-command family 4 (a refused
  // command or a malformed reply), within `bound` real seconds.
  template <typename Call>
  int Check(const char* what, std::initializer_list<int> extra, Call call,
            double bound = kCallBound) {
    const auto start = RealClock::now();
    const int result = call();
    const double took = std::chrono::duration<double>(RealClock::now() - start).count();
    EXPECT_LE(took, bound) << what;
    // 105: the other thread's stops cut the call's exchange short again and
    // again on a slow line (each is sent again after the stop, for a while).
    bool allowed = result == 0 || result == 3 || result == 100 || result == 101 ||
                   (result == 105 && line_ != nullptr) || (result == 4 && FamilyOf(model_) == 3);
    for (int code : extra) allowed |= result == code;
    EXPECT_TRUE(allowed) << what << " returned " << result;
    std::lock_guard<std::mutex> lock(g_slowestMutex);
    if (took > g_slowest) {
      g_slowest = took;
      g_slowestCall = what;
    }
    return result;
  }

  void Step() {
    const int axis = Pick(2);
    const double rates[] = {0.0, kSidereal, -kSidereal, 20 * kSidereal, -300 * kSidereal};
    uint32_t word = 0;
    AxisPair axes{};
    SkyPoint sky{};
    switch (Pick(15)) {
      case 0:
      case 1:
        Check("GotoSky", {103, 104}, [&] { return GotoSky(U(-kPi, kPi), U(-1.4, 1.4)); });
        break;
      case 2:
        Check("GotoAxes", {}, [&] { return GotoAxes(U(-kPi, kPi), U(-0.5, 2.0)); });
        break;
      case 3:
        Check("GotoHorizontal", {103, 104},
              [&] { return GotoHorizontal(U(-kPi, kPi), U(-0.2, 1.5)); });
        break;
      case 4:
      case 5:
        Check("MoveAxis", {}, [&] { return MoveAxis(axis, rates[Pick(5)]); });
        break;
      case 6:
      case 7:
        Check("StopAxis", {102}, [&] { return StopAxis(axis); });
        break;
      case 8:
        Check("SetTracking", {102}, [&] { return SetTracking(Pick(3) != 0); });
        break;
      case 9:
        Check("SyncAxis", {102}, [&] { return SyncAxis(axis, U(-1.0, 1.0)); });
        break;
      case 10:
        if (GetSkyPosition(&sky) != 0 || GetAxisPositions(&axes) != 0) break;
        Check("Align", {200}, [&] {
          const AlignStar a{sky.hourAngle + 0.01, sky.declination - 0.005, axes.axis0, axes.axis1};
          const AlignStar b{a.hourAngle + 0.7, a.declination + 0.2, a.axis0 + 0.7, a.axis1 + 0.2};
          return Pick(2) == 0 ? AlignOneStar(a) : AlignTwoStars(a, b);
        });
        break;
      case 11:
        Check("SetBacklash", {}, [&] { return SetBacklash(axis, U(0.0, 0.017)); });
        break;
      case 12:
        if (Check("GetMountState", {}, [&] { return GetMountState(&word); }) != 3) {
          EXPECT_TRUE(word == 1 || word == 2 || word == 4 || word == 8) << word;
        }
        Check("GetAxisPositions", {}, [&] { return GetAxisPositions(&axes); });
        break;
      case 13:
        if (Pick(4) == 0) {
          Check(
              "DestroyMount", {}, [] { return DestroyMount(); }, kLongBound);
        } else {
          // A byte-command connect refuses position replies cut short (bad data).
          Check(
              "CreateMount", {FamilyOf(model_) == 2 ? 4 : 0},
              [&] { return CreateMount(model_, latitude_, 100.0); }, kLongBound);
        }
        break;
      default:
        if (line_ != nullptr) line_->SetFault(Pick(line_->FaultKinds()), axis);
        break;
    }
  }

  const int model_;
  const double latitude_;
  LineFamily* const line_;
  std::mt19937 random_;
};

void RunSeed(uint32_t seed) {
  std::mt19937 random(seed);
  const int model = std::array{6, 7, 0, 1, 8, 2, 3}[seed % 7];
  const int family = FamilyOf(model);
  const double latitude = std::uniform_real_distribution<double>(-0.9, 0.9)(random);
  std::unique_ptr<LineFamily> line;
  // The tick counter starts anywhere, its wrap included.
  sidera::platform::ScaledTickSource clock(family != 0 ? kEmulatorClockScale : kSimulatorClockScale,
                                           static_cast<uint32_t>(random()));
  sidera::platform::ScopedTickSource installed(clock);
  struct DestroyAtExit {  // no mount outlives the clock and the emulator
    ~DestroyAtExit() { (void)DestroyMount(); }
  } destroyAtExit;
  if (family != 0) {
    line = sidera::testing::MakeLineFamily(family, true);
    ASSERT_TRUE(line->Start());
    setenv("SIDERA_SERIAL_PATTERN", line->Device().c_str(), 1);
  }
  const int baselineThreads = ThreadCount();
  ASSERT_EQ(CreateMount(model, latitude, 100.0), 0);
  HostThread first(model, latitude, line.get(), seed * 2 + 1);
  HostThread second(model, latitude, line.get(), seed * 2 + 2);
  std::thread other([&] { second.Run(); });
  first.Run();
  other.join();

  // A healthy line (an exchange a fault slowed down may still hold it for
  // half a second), tracking off, both axes stopped.
  if (line) {
    line->SetFault(0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  ASSERT_EQ(CreateMount(model, latitude, 100.0), 0);
  EXPECT_EQ(SetTracking(0), 0);
  EXPECT_EQ(StopAxis(0), 0);
  EXPECT_EQ(StopAxis(1), 0);
  // A hardware mount keeps its line watch running.
  const int watch = family != 0 ? 1 : 0;
  (void)Eventually(
      [&] {
        return sidera::g_mount->RunningThreads() <= watch &&
               !(line && (line->Moving(0) || line->Moving(1)));
      },
      6000);
  uint32_t word = 0;
  EXPECT_EQ(GetMountState(&word), 0);
  EXPECT_EQ(word, 1u) << "stopped";
  for (int axis = 0; axis < 2; ++axis) {
    EXPECT_EQ(GetAxisState(axis, &word), 0);
    // A hex-command controller also reports the direction it last ran in.
    EXPECT_EQ(word & ~8u, 1u) << "axis " << axis << " stopped";
    if (line) {
      EXPECT_FALSE(line->Moving(axis)) << axis;
    }
  }
  const auto start = RealClock::now();
  EXPECT_EQ(DestroyMount(), 0);
  EXPECT_LE(std::chrono::duration<double>(RealClock::now() - start).count(), kLongBound);
  // A joined thread can stay listed for a moment after it has ended.
  (void)Eventually([&] { return ThreadCount() <= baselineThreads; }, 2000);
  EXPECT_LE(ThreadCount(), baselineThreads) << "no thread of the library is left";
}

TEST(Soak, RandomCallsFromTwoHostThreads) {
  const int only = EnvInt("SIDERA_SOAK_SEED", 0);
  const int firstSeed = only != 0 ? only : EnvInt("SIDERA_SOAK_FIRST_SEED", 1);
  const int seeds = only != 0 ? 1 : EnvInt("SIDERA_SOAK_SEEDS", 30);
  // A sanitizer runtime starts a thread of its own with the first thread;
  // let that happen before any thread count is taken.
  std::thread([] {}).join();
  const auto start = RealClock::now();
  for (int seed = firstSeed; seed < firstSeed + seeds; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    RunSeed(static_cast<uint32_t>(seed));
    if (::testing::Test::HasFailure()) {
      std::printf("soak: seed %d failed; replay it with SIDERA_SOAK_SEED=%d\n", seed, seed);
      break;
    }
  }
  std::printf("soak: %d seeds from %d in %.1f s; slowest call %.3f s (%s)\n", seeds, firstSeed,
              std::chrono::duration<double>(RealClock::now() - start).count(), g_slowest,
              g_slowestCall.c_str());
}

}  // namespace
