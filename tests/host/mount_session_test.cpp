// The parts of the host session every front end shares, through the exported
// C API as a front end calls it: the snapshot that many clients read at one
// cadence (on the simulator), the tracking rate change, the park position,
// and guide pulses whose ends run on the stop lane (on model 1 over its
// emulator, which can garble a controller's replies).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "emulators/packet_bus/packet_bus_emulator.h"
#include "host/guide_pulses.h"
#include "host/library_text.h"
#include "host/model_facts.h"
#include "host/mount_connect.h"
#include "host/mount_snapshot.h"
#include "host/mount_worker.h"
#include "host/park_position.h"
#include "host/serial_device.h"
#include "host/sky_angles.h"
#include "host/tracking_rate.h"
#include "tests/support/wait_for.h"

namespace sidera::host {
namespace {

using namespace std::chrono_literals;

using sidera::testing::WaitFor;

// Holds the calls lane busy (a controller answering late) until released.
class BusyLane {
 public:
  explicit BusyLane(TaskLane& lane) {
    lane.Post([released = released_.get_future().share()] { released.wait_for(30s); });
  }
  ~BusyLane() { Release(); }
  void Release() {
    if (!done_) released_.set_value();
    done_ = true;
  }

 private:
  std::promise<void> released_;
  bool done_ = false;
};

class Snapshot : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateMount(6, Radians(34.2), 1700), SIDERA_OK); }
  void TearDown() override {
    worker_.Stop();
    (void)DestroyMount();
  }
  // A cache whose readings are counted. It outlives the lane's tasks: the
  // lane stops in TearDown.
  SnapshotCache* Cache(std::chrono::milliseconds interval) {
    cache_ = std::make_unique<SnapshotCache>(worker_.calls, false, interval);
    cache_->OnReading([this](const MountSnapshot&) { ++readings_; });
    cache_->SetSky(SkyClock(1.0), -118.0);
    cache_->Open();
    return cache_.get();
  }

  MountWorker worker_;
  std::atomic<int> readings_{0};
  std::unique_ptr<SnapshotCache> cache_;
};

TEST_F(Snapshot, ClientsWithinTheIntervalShareOneReading) {
  SnapshotCache* cache = Cache(60s);
  std::vector<std::thread> clients;
  std::atomic<int> read{0};
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        MountSnapshot s;
        if (cache->Read(&s) == SnapshotCache::Status::kRead && s.code == SIDERA_OK) ++read;
      }
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(read, 160);
  EXPECT_EQ(readings_, 1);
  // A command invalidates it: the next read waits for a new one, and the
  // calls lane's own reads share it too.
  cache->Invalidate();
  MountSnapshot s;
  ASSERT_EQ(cache->Read(&s), SnapshotCache::Status::kRead);
  EXPECT_EQ(readings_, 2);
  (void)worker_.calls.Call([&] { return cache->Take(); }, 5s);
  EXPECT_EQ(readings_, 2);
  (void)worker_.calls.Call([&] { return cache->Take(true); }, 5s);
  EXPECT_EQ(readings_, 3);
}

TEST_F(Snapshot, AReadingJustPastTheIntervalServesWhileTheNextIsMade) {
  SnapshotCache* cache = Cache(1000ms);
  MountSnapshot first, later;
  ASSERT_EQ(cache->Read(&first), SnapshotCache::Status::kRead);
  std::this_thread::sleep_for(1100ms);
  // The serial line is busy: the refresh queues behind it, and the reader
  // gets the last reading at once instead of waiting.
  BusyLane busy(worker_.calls);
  ASSERT_EQ(cache->Read(&later, 100ms), SnapshotCache::Status::kRead);
  EXPECT_EQ(later.utc, first.utc);
  // An invalidated reading is not served; a reader waiting for the next one
  // is woken when the mount goes.
  cache->Invalidate();
  EXPECT_EQ(cache->Read(&later, 50ms), SnapshotCache::Status::kLate);
  auto waiting = std::async(std::launch::async, [&] { return cache->Read(&later, 30s); });
  std::this_thread::sleep_for(50ms);
  cache->Close();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), SnapshotCache::Status::kClosed);
  busy.Release();
}

TEST(ReadMount, AFailedReadKeepsTheOutcomeRecordAndSaysWhy) {
  (void)DestroyMount();
  const MountSnapshot s = ReadMount(SkyClock(1.0), 0.0, true);
  EXPECT_EQ(s.code, SIDERA_NO_MOUNT);
  EXPECT_EQ(s.error.rfind("Reading the mount: ", 0), 0u) << s.error;
  EXPECT_NE(s.error.find("(code " + std::to_string(SIDERA_NO_MOUNT) + ")"), std::string::npos);
}

// A running tracking is started again at the new rate; a stopped one stays
// stopped.
TEST_F(Snapshot, ATrackingRateChangeRestartsOnlyWhatRan) {
  uint32_t state = 0;
  ASSERT_EQ(ChangeTrackingRate(kLunarTracking, false), SIDERA_OK);
  ASSERT_EQ(GetMountState(&state), SIDERA_OK);
  EXPECT_NE(state, static_cast<uint32_t>(SIDERA_MOUNT_TRACKING));
  ASSERT_EQ(SetTracking(1), SIDERA_OK);
  const auto tracking = [&] {
    return GetMountState(&state) == SIDERA_OK && state == SIDERA_MOUNT_TRACKING;
  };
  ASSERT_TRUE(WaitFor(tracking, 5s));
  EXPECT_EQ(ChangeTrackingRate(kSolarTracking, true), SIDERA_OK);
  EXPECT_TRUE(WaitFor(tracking, 5s));
}

// A connect's failure is worded once for every front end: what was tried,
// on which device, and why, from what the system says of the device or how
// the controller answered.
TEST(Connect, FailuresSayWhatWasTriedAndWhy) {
  EXPECT_EQ(ModelLabel(ModelCount()), "model " + std::to_string(ModelCount()));
  EXPECT_FALSE(UseSerialDevice(""));
  EXPECT_TRUE(ConnectMount({6, "", "", ""}, Radians(34.2), 1700).ok());  // no device needed
  (void)DestroyMount();
  const std::string name1 = "model 1 (" + LibraryModelName(1) + ")";
  const std::string file = ::testing::TempDir() + "/not-a-port";
  std::fclose(std::fopen(file.c_str(), "w"));
  emulator::PacketBusOptions silent;
  silent.silentAxis = 1;
  emulator::PacketBusEmulator packetBus, silentBus(silent);
  ASSERT_TRUE(packetBus.Start());
  ASSERT_TRUE(silentBus.Start());
  const struct {
    int model;
    std::string device;
    int code;
    std::string text;
  } rows[] = {
      {1, "", SIDERA_INVALID_PARAMETER,
       "Connecting to " + LibraryModelName(1) + ": no serial device chosen (pick a port)"},
      {1, "/nonexistent/ttyUSB0", SIDERA_PORT_BUSY,
       "Connecting to " + LibraryModelName(1) +
           " on /nonexistent/ttyUSB0: serial device /nonexistent/ttyUSB0 does not exist"},
      {1, file, SIDERA_PORT_BUSY, file + " is a regular file, not a serial device"},
      {1, ::testing::TempDir(), SIDERA_PORT_BUSY, "is a directory, not a serial device"},
      {1, "/dev/null", SIDERA_PORT_BUSY, "/dev/null is not a serial (terminal) device"},
      // A packet-bus controller taken for a byte-command mount.
      {8, packetBus.DevicePath(), SIDERA_INVALID_PARAMETER,
       ": the controller on " + packetBus.DevicePath() + " answers, but not as model 8 (" +
           LibraryModelName(8) + ") does: it is another kind of mount; pick a model (code 4)"},
      {1, silentBus.DevicePath(), SIDERA_NO_RESPONSE_AXIS1,
       ": no mount answers on " + silentBus.DevicePath() +
           ": axis 1 (declination) does not reply; is the mount powered and cabled, and is it " +
           name1 + "? (code 101)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device);
    const ConnectOutcome outcome =
        ConnectMount({row.model, row.device, "pick a port", "pick a model"}, Radians(34.2), 1700);
    EXPECT_EQ(outcome.code, row.code);
    EXPECT_NE(outcome.failure.find(row.text), std::string::npos) << outcome.failure;
  }
  // A model this library does not drive, as the library answers it.
  EXPECT_EQ(ConnectFailureReason({ModelCount(), "", "", ""}, SIDERA_NOT_IMPLEMENTED),
            "model " + std::to_string(ModelCount()) +
                " is not driven by this build of the library (code 300)");
}

TEST(ParkPosition, TheUsersAnglesStayTheirsAndTheHomeFillsTheRest) {
  for (int model = 0; model < ModelCount(); ++model) {
    const ModelFacts& facts = *FactsOf(model);
    const AxisPair home = HomeAxes(facts);
    EXPECT_DOUBLE_EQ(home.axis0, Radians(facts.homeAxis0Degrees)) << model;
    EXPECT_DOUBLE_EQ(home.axis1, Radians(facts.homeAxis1Degrees)) << model;
    const AxisPair byDefault = ParkAxes(facts, std::nullopt, std::nullopt);
    EXPECT_EQ(byDefault.axis0, home.axis0);
    EXPECT_EQ(byDefault.axis1, home.axis1);
    const AxisPair users = ParkAxes(facts, -30.0, 0.0);  // 0 is a position, not "unset"
    EXPECT_DOUBLE_EQ(users.axis0, Radians(-30.0));
    EXPECT_EQ(users.axis1, 0.0);
  }
}

// Guide pulses on model 1: tracking on, so a pulse's end puts an axis back
// to tracking (right ascension) or at rest (declination).
class Pulses : public ::testing::Test {
 protected:
  void SetUp() override {
    emu_ = std::make_unique<emulator::PacketBusEmulator>();
    ASSERT_TRUE(emu_->Start());
    const auto port = PortSettingFor(emu_->DevicePath());
    ASSERT_TRUE(port);
    SetSerialPattern(port->pattern.c_str());
    SetComPort(port->number);
    ASSERT_EQ(CreateMount(1, Radians(34.2), 1700), SIDERA_OK);
    ASSERT_EQ(SetTracking(1), SIDERA_OK);
    ASSERT_TRUE(WaitFor([&] { return emu_->RateWireValue(0) != 0; }, 5s));
    pulses_.OnEnded([this](int lane, uint64_t tag, int) {
      std::lock_guard<std::mutex> lock(mutex_);
      ended_.push_back({lane, tag});
    });
  }
  void TearDown() override {
    worker_.Stop();
    (void)StopEverything();
    (void)DestroyMount();
    SetSerialPattern(nullptr);
    emu_.reset();
  }
  // Starts a pulse on the calls lane, as a front end does.
  int Start(int lane, double skyRate, std::chrono::milliseconds duration, uint64_t tag = 0) {
    MountGeometry geometry;  // equatorial, northern
    return *worker_.calls.Call(
        [=, this] { return pulses_.Start(lane, skyRate, duration, geometry, kSiderealRate, tag); },
        10s);
  }
  // The lanes and tags of the pulses ended.
  std::vector<std::pair<int, uint64_t>> Ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }
  void Garble(int axis) {
    emu_->UpdateOptions([axis](emulator::PacketBusOptions& o) { o.shortPacketAxis = axis; });
  }

  std::unique_ptr<emulator::PacketBusEmulator> emu_;
  MountWorker worker_;
  GuidePulses pulses_{worker_.stops};
  std::mutex mutex_;
  std::vector<std::pair<int, uint64_t>> ended_;
};

constexpr double kGuideRate = kSiderealRate / 2;

TEST_F(Pulses, AnEndStopsTheAxisWithoutAReadWhileTheCallsLaneIsBusy) {
  // A long west pulse runs on while a short north one ends; the declination
  // controller garbles its replies and the calls lane waits on a slow call.
  ASSERT_EQ(Start(GuidePulses::kEastWest, kGuideRate, 20s), SIDERA_OK);
  ASSERT_EQ(Start(GuidePulses::kNorthSouth, kGuideRate, 200ms), SIDERA_OK);
  ASSERT_TRUE(WaitFor([&] { return emu_->RateWireValue(1) != 0; }, 5s));
  BusyLane busy(worker_.calls);
  Garble(1);
  // Back at rest long before the west pulse ends (generous for a busy machine).
  EXPECT_TRUE(WaitFor([&] { return emu_->RateWireValue(1) == 0; }, 5s));
  EXPECT_TRUE(WaitFor([&] { return !Ended().empty(); }, 5s));
  // Reported (with the code of the garbled reply to the stop, if any).
  EXPECT_EQ(Ended().front().first, GuidePulses::kNorthSouth);
  EXPECT_EQ(Ended().size(), 1u);
  EXPECT_TRUE(pulses_.Running(GuidePulses::kEastWest));
  EXPECT_FALSE(pulses_.Running(GuidePulses::kNorthSouth));
  EXPECT_NE(emu_->RateWireValue(0), 0);
  Garble(-1);
  busy.Release();
}

TEST_F(Pulses, ReplacedAndForgottenPulsesEndNothing) {
  // A pulse replaced by a longer one: the first one's end does nothing.
  ASSERT_EQ(Start(GuidePulses::kNorthSouth, kGuideRate, 150ms, 1), SIDERA_OK);
  ASSERT_EQ(Start(GuidePulses::kNorthSouth, -kGuideRate, 20s, 2), SIDERA_OK);
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(Ended().empty());
  EXPECT_NE(emu_->RateWireValue(1), 0);
  // Ended now, on the stop lane.
  pulses_.EndNow(GuidePulses::kNorthSouth);
  EXPECT_TRUE(WaitFor([&] { return emu_->RateWireValue(1) == 0; }, 5s));
  EXPECT_TRUE(WaitFor([&] { return Ended().size() == 1; }, 5s));
  EXPECT_EQ(Ended().front(), std::make_pair(GuidePulses::kNorthSouth, uint64_t{2}));
  // A goto or a stop took the axes: the pulse is forgotten and its end
  // neither calls the library nor reports.
  ASSERT_EQ(Start(GuidePulses::kNorthSouth, kGuideRate, 150ms), SIDERA_OK);
  pulses_.Forget();
  EXPECT_FALSE(pulses_.Running());
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Ended().size(), 1u);
  EXPECT_NE(emu_->RateWireValue(1), 0) << "left to the stop that took the axes";
}

}  // namespace
}  // namespace sidera::host

namespace sidera::host {
namespace {

// An abort on the stop lane while a reading is being made (the controller
// answers late): that reading may show the mount from before the abort, so
// a reader that asks after the abort gets the next one.
TEST_F(Pulses, AReadingBegunBeforeAnInvalidationDoesNotServe) {
  SnapshotCache cache(worker_.calls, false, 60s);
  std::atomic<int> readings{0};
  cache.OnReading([&](const MountSnapshot&) { ++readings; });
  cache.Open();
  emu_->UpdateOptions([](emulator::PacketBusOptions& o) { o.replyDelayMs = 400; });
  auto first = std::async(std::launch::async, [&] {
    MountSnapshot s;
    return cache.Read(&s);
  });
  std::this_thread::sleep_for(50ms);  // the reading is under way (one reply takes 400 ms)
  cache.Invalidate();
  MountSnapshot s;
  ASSERT_EQ(cache.Read(&s), SnapshotCache::Status::kRead);
  EXPECT_EQ(readings, 2);
  EXPECT_EQ(first.get(), SnapshotCache::Status::kRead);
  emu_->UpdateOptions([](emulator::PacketBusOptions& o) { o.replyDelayMs = 0; });
  worker_.Stop();  // before the cache goes
}

}  // namespace
}  // namespace sidera::host
