// The GPS reader against the receivers' emulators on pseudo-terminals: the
// packet-bus GPS unit (link phase, full read, bad checksums, the clock it
// sets), an NMEA receiver's corrupted and overlong sentences, one worker at
// a time, and a restart that never waits for the previous worker.
#include "location/core/gps/gps_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>

#include "emulators/nmea/nmea_feeder.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace location::gps {
namespace {

using sidera::emulator::NmeaSentence;
using namespace std::chrono_literals;

// A GPS reader on a recording clock, with every report it makes recorded;
// tests wait on the reports with a liveness bound.
class Reports : public GpsListener {
 public:
  struct Event {
    int worker;
    std::string what;
    int satellites = 0;
  };
  void OnSatellites(int w, int count) override { Add({w, "satellites", count}); }
  void OnPosition(int w, double, double) override { Add({w, "position"}); }
  void OnLocated(int w) override { Add({w, "located"}); }
  void OnTime(int w, const GpsTime&) override { Add({w, "time"}); }
  void OnProbeFailed(int w) override {
    Add({w, "probe failed"});
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return held_ != w; });  // a held worker stays here
  }
  void OnFinished(int w) override { Add({w, "finished"}); }

  // Waits (at most `bound`) for a report `what` of `worker`; a bound of 0
  // only looks.
  bool WaitFor(int worker, const std::string& what, std::chrono::milliseconds bound = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [&] {
      return std::any_of(events_.begin(), events_.end(),
                         [&](const Event& e) { return e.worker == worker && e.what == what; });
    });
  }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // Worker `w` will stay in its probe-failed report until Hold(0).
  void Hold(int w) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = w;
    changed_.notify_all();
  }

 private:
  void Add(Event e) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(e));
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  int held_ = 0;

 public:
  RecordingClock clock;
  GpsReader reader{clock, *this};  // last: its worker ends before the rest goes
  // The sentences played are dated 2024: read them as recorded then, not as
  // a receiver behind by a week-number rollover.
  Reports() { reader.SetDatesFrom(GpsTime{2024, 1, 1, 0, 0, 0}); }
};

constexpr int64_t kEquinoxUtc = 1710995415;  // 2024-03-21 04:30:15 UTC

TEST(GpsReaderBus, ReadsTheUnitOnceLinkedAndSetsTheClock) {
  sidera::emulator::PacketBusOptions options;
  options.gps = {true, -33.8688, 151.2093, 9, 2, kEquinoxUtc, -1};  // the probe's poll counts
  sidera::emulator::PacketBusEmulator bus(options);
  ASSERT_TRUE(bus.Start());
  Reports reports;
  const int worker = reports.reader.Start(bus.DevicePath());
  ASSERT_TRUE(reports.WaitFor(worker, "finished"));
  ASSERT_TRUE(reports.WaitFor(worker, "located", 0ms));

  const GpsState state = reports.reader.State();
  EXPECT_EQ(state.kind, ReceiverKind::kBus);
  EXPECT_NEAR(state.latitude, -33.8688, 360.0 / 16777216);
  EXPECT_NEAR(state.longitude, 151.2093, 360.0 / 16777216);
  EXPECT_EQ(state.satellites, 9);
  EXPECT_TRUE(state.receiverAnswering);
  EXPECT_TRUE(state.usableFix);
  ASSERT_EQ(reports.clock.Times().size(), 1u);
  const GpsTime set = reports.clock.Times()[0];
  EXPECT_EQ((std::array<int, 4>{set.year, set.month, set.day, set.hour}),
            (std::array<int, 4>{2024, 3, 21, 4}));
  const int secondsLater =
      set.minute * 60 + set.second - (30 * 60 + 15);  // the unit's time runs on
  EXPECT_GE(secondsLater, 0);
  EXPECT_LE(secondsLater, 5);

  // The probe and a poll answered "not linked", a poll 600 ms later, then the
  // reading in order.
  std::vector<uint8_t> ids;
  for (const auto& request : bus.Requests()) {
    ASSERT_EQ(request.bytes.size(), 6u);
    EXPECT_EQ(request.bytes[2], 0x32);
    EXPECT_EQ(request.bytes[3], 0xB0);
    ids.push_back(request.id);
  }
  EXPECT_EQ(ids, (std::vector<uint8_t>{0x37, 0x37, 0x37, 0x07, 0x03, 0x04, 0x33, 0x01, 0x02}));
}

// A date before the build date (here a 2024 unit read as of 2025) is shown
// as the unit gave it, and sets no clock.
TEST(GpsReaderBus, ADateBeforeTheBuildDateIsShownButSetsNoClock) {
  sidera::emulator::PacketBusOptions options;
  options.gps = {true, -33.8688, 151.2093, 9, 0, kEquinoxUtc, -1};
  sidera::emulator::PacketBusEmulator bus(options);
  ASSERT_TRUE(bus.Start());
  Reports reports;
  reports.reader.SetDatesFrom(GpsTime{2025, 1, 1, 0, 0, 0});
  const int worker = reports.reader.Start(bus.DevicePath());
  ASSERT_TRUE(reports.WaitFor(worker, "time"));
  const std::optional<GpsTime> shown = reports.reader.State().utc;
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ((std::array<int, 3>{shown->year, shown->month, shown->day}),
            (std::array<int, 3>{2024, 3, 21}));
  EXPECT_TRUE(reports.clock.Times().empty());
}

TEST(GpsReaderBus, AReplyWithABadChecksumIsNotTaken) {
  sidera::emulator::PacketBusOptions options;
  options.gps = {true, 10, 20, 5, 0, kEquinoxUtc, 0x01};
  sidera::emulator::PacketBusEmulator bus(options);
  ASSERT_TRUE(bus.Start());
  Reports reports;
  const int worker = reports.reader.Start(bus.DevicePath());
  EXPECT_FALSE(reports.WaitFor(worker, "located", 1500ms));
  EXPECT_FALSE(reports.reader.State().positionKnown);
  bus.UpdateOptions([](auto& o) { o.gps.badChecksumId = -1; });
  ASSERT_TRUE(reports.WaitFor(worker, "located"));
  EXPECT_NEAR(reports.reader.State().latitude, 10, 1e-4);
}

// Reading an NMEA receiver to its fix and time, at each rate and in each
// hemisphere, is the recorded captures (captures_test.sh) through the same
// reader; the clock it sets is the GPS page's (tests/location_widgets).
TEST(GpsReaderNmeaFaults, CorruptedAndOverlongSentencesChangeNothing) {
  std::string corrupted = NmeaSentence("GPRMC,043015.00,A,3413.6000,N,11803.6000,W,0,0,210324,,,A");
  corrupted[20] = '9';  // the checksum no longer matches
  const std::vector<std::string> sentences = {
      corrupted, NmeaSentence("GPGGA,043014.00,3413.6,N,11803.6,W,1,08,0.9,1742.0,M,,M,,"),
      "$GPRMC," + std::string(700, '7')};
  sidera::emulator::NmeaFeeder feeder({sentences, 40, 4800, true});
  ASSERT_TRUE(feeder.Start());
  Reports reports;
  const int worker = reports.reader.Start(feeder.DevicePath());
  ASSERT_TRUE(reports.WaitFor(worker, "located"));
  const int sent = feeder.SentencesSent();
  while (feeder.SentencesSent() < sent + 9) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(reports.clock.Times().empty());
  EXPECT_FALSE(reports.reader.State().positionKnown);
  EXPECT_FALSE(reports.reader.State().timeValid);
  EXPECT_FALSE(reports.reader.State().usableFix);
  reports.reader.RequestStop();
  EXPECT_TRUE(reports.WaitFor(worker, "finished", 2s));
}

TEST(GpsReaderWorkers, ANewWorkerStartsOnlyAfterThePreviousEnded) {
  sidera::emulator::NmeaFeeder quiet({{}, 5, 4800, true});  // a line where nobody talks
  ASSERT_TRUE(quiet.Start());
  Reports reports;
  const int first = reports.reader.Start(quiet.DevicePath());
  std::this_thread::sleep_for(50ms);
  const int second = reports.reader.Start("/dev/location-test-no-such-device");
  EXPECT_NE(first, second);
  ASSERT_TRUE(reports.WaitFor(second, "probe failed", 3s));
  const auto events = reports.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().worker, first);
  EXPECT_EQ(events.front().what, "finished");  // stopped before the second began
  EXPECT_FALSE(reports.WaitFor(first, "probe failed", 0ms));
}

// Start hands the previous worker to the new one instead of joining it, so
// the page's thread never waits: here the previous worker is held inside a
// report, and a Start that waited for it would never return.
TEST(GpsReaderWorkers, ARestartReturnsWithoutWaitingForThePreviousWorker) {
  sidera::emulator::NmeaFeeder garbage({{NmeaSentence("GPGSA,A,1")}, 40, 2400, true});
  ASSERT_TRUE(garbage.Start());
  Reports reports;
  reports.Hold(1);
  const int first = reports.reader.Start("/dev/location-test-no-such-device");
  ASSERT_TRUE(reports.WaitFor(first, "probe failed"));
  auto restart =
      std::async(std::launch::async, [&] { return reports.reader.Start(garbage.DevicePath()); });
  const bool returned = restart.wait_for(5s) == std::future_status::ready;
  const bool firstEnded = reports.WaitFor(first, "finished", 0ms);
  reports.Hold(0);
  ASSERT_TRUE(returned);
  EXPECT_FALSE(firstEnded);
  const int second = restart.get();
  ASSERT_TRUE(reports.WaitFor(first, "finished"));

  // Figures for the record (not judged here: the machine may be loaded):
  // restarts and a stop while the worker listens in the NMEA probe.
  std::this_thread::sleep_for(300ms);  // past the bus probe, into the 9600 window
  using Clock = std::chrono::steady_clock;
  const auto msSince = [](Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  };
  double slowestStartMs = 0;
  int latest = second;
  for (int i = 0; i < 5; ++i) {
    const auto before = Clock::now();
    latest = reports.reader.Start(garbage.DevicePath());
    slowestStartMs = std::max(slowestStartMs, msSince(before));
    std::this_thread::sleep_for(300ms);
  }
  const auto stopAt = Clock::now();
  reports.reader.RequestStop();
  ASSERT_TRUE(reports.WaitFor(latest, "finished", 3s));
  const double stopMs = msSince(stopAt);
  std::printf("[ figures  ] restart while probing: slowest Start %.3f ms; stop seen in %.1f ms\n",
              slowestStartMs, stopMs);
  EXPECT_FALSE(reports.WaitFor(latest, "probe failed", 0ms));
}

}  // namespace
}  // namespace location::gps
