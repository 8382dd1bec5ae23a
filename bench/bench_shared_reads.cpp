// How much line time the hosts' read-outs cost, counted on the hex-command
// emulator paced at 9600 baud (model 3, equatorial), through the exported
// operations as a host makes them:
//
//   goto: a goto of 50 and 30 degrees, with no host reading and with a host
//     that polls GetMountState and GetAxisPositions every 40 ms (the host
//     program's progress display): exchanges a second, the share the host
//     adds, and how regularly the goto's own status polls of axis 0 come
//   indi: the INDI driver's poll (GetAxisPositions, GetSkyPosition,
//     GetHorizontalPosition, GetMountState, GetAxisState of both axes) once
//     a second while the mount tracks: commands a minute
//   threads: no host, one host thread and ten host threads polling every
//     read-out at 100 Hz while the mount tracks: exchanges a second
//   simulators: the time of one GetMountState on models 6 and 7
//
// Usage: bench_shared_reads
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "emulators/hex_command/hex_command_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

namespace {

using Clock = std::chrono::steady_clock;
using sidera::emulator::HexCommandRequest;

constexpr double kPi = 3.141592653589793;
double Rad(double deg) { return deg * kPi / 180; }
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Model 3 on its own paced emulator, created as a host creates it.
struct PacedMount {
  sidera::emulator::HexCommandEmulator emu;
  int created = -1;
  PacedMount() : emu(Options()) {
    if (!emu.Start()) return;
    setenv("SIDERA_SERIAL_PATTERN", emu.DevicePath().c_str(), 1);
    created = CreateMount(3, 0.6, 100.0);
  }
  ~PacedMount() { (void)DestroyMount(); }
  static sidera::emulator::HexCommandOptions Options() {
    sidera::emulator::HexCommandOptions o;
    o.pace = true;
    return o;
  }
};

// Calls `poll` every `periodMs` on a thread of its own until destroyed.
class Poller {
 public:
  Poller(int periodMs, void (*poll)()) {
    thread_ = std::thread([this, periodMs, poll] {
      while (!stop_) {
        poll();
        SleepMs(periodMs);
      }
    });
  }
  ~Poller() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void ProgressPoll() {
  uint32_t state = 0;
  AxisPair axes{};
  (void)GetMountState(&state);
  (void)GetAxisPositions(&axes);
}

void IndiPoll() {
  AxisPair axes{};
  SkyPoint sky{};
  HorizontalPoint horizontal{};
  uint32_t state = 0;
  (void)GetAxisPositions(&axes);
  (void)GetSkyPosition(&sky);
  (void)GetHorizontalPosition(&horizontal);
  (void)GetMountState(&state);
  (void)GetAxisState(0, &state);
  (void)GetAxisState(1, &state);
}

void EveryReadOut() {
  IndiPoll();
  double angle = 0;
  (void)GetAxisPosition(0, &angle);
  (void)GetAxisPosition(1, &angle);
}

struct GotoFigures {
  double seconds = 0;
  double perSecond = 0;
  double pollMean = 0;  // ms between the goto's status polls of axis 0
  double pollWorst = 0;
};

// One goto from the home position, watched from inside so that the watching
// sends nothing.
GotoFigures RunGoto(bool host) {
  GotoFigures f;
  PacedMount m;
  if (m.created != 0) return f;
  sidera::TelescopeMount* mount = sidera::g_mount;
  m.emu.ClearRequests();
  const Clock::time_point start = Clock::now();
  std::unique_ptr<Poller> poller;
  if (host) poller = std::make_unique<Poller>(40, ProgressPoll);
  (void)GotoAxes(Rad(-90 + 50), Rad(90 - 30));
  while (!mount->Published().GotoActive() && Clock::now() - start < std::chrono::seconds(3))
    SleepMs(2);
  while (mount->Published().GotoActive() || !mount->AxesIdle()) SleepMs(2);
  const Clock::time_point end = Clock::now();
  poller.reset();
  const std::vector<HexCommandRequest> requests = m.emu.Requests();
  f.seconds = Seconds(end - start);
  std::vector<Clock::time_point> polls;
  int count = 0;
  for (const HexCommandRequest& r : requests) {
    if (r.at > end) continue;
    ++count;
    if (r.letter == 'f' && r.axis == 0) polls.push_back(r.at);
  }
  f.perSecond = count / f.seconds;
  double sum = 0;
  for (size_t i = 1; i < polls.size(); ++i) {
    const double gap = Seconds(polls[i] - polls[i - 1]) * 1000;
    sum += gap;
    f.pollWorst = std::max(f.pollWorst, gap);
  }
  if (polls.size() > 1) f.pollMean = sum / static_cast<double>(polls.size() - 1);
  return f;
}

// Exchanges a second while the mount tracks, with `poll` called every
// `periodMs` by `threads` threads (none: no host).
double TrackingTraffic(int threads, int periodMs, void (*poll)(), int seconds) {
  PacedMount m;
  if (m.created != 0) return -1;
  (void)SetTracking(1);
  SleepMs(1500);
  std::vector<std::unique_ptr<Poller>> pollers;
  m.emu.ClearRequests();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < threads; ++i) pollers.push_back(std::make_unique<Poller>(periodMs, poll));
  SleepMs(seconds * 1000);
  pollers.clear();
  const Clock::time_point end = Clock::now();
  int count = 0;
  for (const HexCommandRequest& r : m.emu.Requests()) count += r.at <= end ? 1 : 0;
  return count / Seconds(end - start);
}

double MountStateNanoseconds(int model) {
  if (CreateMount(model, 0.6, 100.0) != 0) return -1;
  constexpr int kCalls = 200000;
  uint32_t state = 0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kCalls; ++i) (void)GetMountState(&state);
  const double ns = Seconds(Clock::now() - start) * 1e9 / kCalls;
  (void)DestroyMount();
  return ns;
}

}  // namespace

int main() {
  const GotoFigures alone = RunGoto(false);
  const GotoFigures watched = RunGoto(true);
  std::printf("goto on model 3 (50 and 30 degrees), paced at 9600 baud\n");
  std::printf("  %-22s %6s %14s %22s\n", "", "s", "exchanges/s", "status polls ms (worst)");
  for (const auto& [name, f] : {std::pair{"no host", alone}, std::pair{"host at 25 Hz", watched}}) {
    std::printf("  %-22s %6.1f %14.1f %14.0f (%5.0f)\n", name, f.seconds, f.perSecond, f.pollMean,
                f.pollWorst);
  }
  std::printf("  made for the host: %.1f exchanges/s\n", watched.perSecond - alone.perSecond);

  const double indi = TrackingTraffic(1, 1000, IndiPoll, 30) * 60;
  std::printf("INDI poll at 1 s, model 3 tracking: %.0f commands/minute\n", indi);

  const double quiet = TrackingTraffic(0, 0, nullptr, 10);
  const double one = TrackingTraffic(1, 10, EveryReadOut, 10);
  const double busy = TrackingTraffic(10, 10, EveryReadOut, 10);
  std::printf(
      "model 3 tracking, every read-out polled at 100 Hz: exchanges/s with no host %.1f, "
      "one thread %.1f, ten threads %.1f\n",
      quiet, one, busy);

  for (int model : {6, 7}) {
    std::printf("GetMountState on model %d: %.0f ns\n", model, MountStateNanoseconds(model));
  }
  return 0;
}
