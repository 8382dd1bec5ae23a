// How promptly the serial line of each hardware family delivers a stop, and
// how soon the library knows a controller that has fallen silent, measured
// through the exported operations against the controller emulators (wire
// times are the emulators' arrival times of the requests).
//
//   stop latency: StopAxis called -> its halt arrives at the controller
//     - while another thread waits for a read the controller answers 1 s late
//     - during a goto, with a host thread polling the state at 25 Hz
//     - hex commands: during the wait for an axis to report it stopped, on an
//       axis that brakes for 5 s and on one that never reports stopped
//   silence: the controller stops answering (port open) during a goto, a
//     slew, tracking (equatorial models; the alt-azimuth tracking loop on the
//     byte-command family) or while idle, the host polling at 0, 10 or 25 Hz
//     - known: its last answer -> the library counts the axis silent
//     - ended: its last answer -> every motion has ended
//     - told: its last answer -> the first host read that returns 100/101
//
// Usage: bench_line_safety [ROUNDS]  (default 3; the median and the worst of
// the rounds are printed).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulators/family3/family3_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"

namespace {

using sidera::testing::LineFamily;
using sidera::testing::MakeLineFamily;
using sidera::testing::Wire;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.141592653589793;
constexpr double kSidereal = 2 * kPi / 86164.09065;
double Deg(double d) { return d * kPi / 180; }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool WaitFor(const std::function<bool()>& done, int limitMs) {
  const auto giveUp = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (Clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool Idle() {
  sidera::TelescopeMount* m = sidera::g_mount;
  return m != nullptr && m->axisMoving[0] == 0 && m->axisMoving[1] == 0 && m->idleEvent.IsSet() &&
         m->mountState != sidera::MOUNT_TRACKING;
}

struct Figures {
  std::vector<double> values;
  void Add(std::optional<double> v) {
    if (v) values.push_back(*v);
  }
  std::string Text() const {
    if (values.empty()) return "      -";
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    char text[64];
    std::snprintf(text, sizeof text, "%7.1f (worst %6.1f)", v[v.size() / 2], v.back());
    return text;
  }
};

// The family on a fresh emulator with model `model` created on it.
bool Open(LineFamily& line, int model) {
  if (!line.Start()) return false;
  setenv("SIDERA_SERIAL_PATTERN", line.Device().c_str(), 1);
  return CreateMount(model, 0.6, 100.0) == 0;
}

void Close(LineFamily& line) {
  (void)DestroyMount();
  line.Stop();
}

// A read the controller answers 1 s late is under way on another thread.
std::optional<double> StopBehindSlowRead(int family) {
  auto line = MakeLineFamily(family);
  std::optional<double> took;
  if (Open(*line, line->AltAzModel())) {
    line->SetReplyDelay(1000);
    line->ClearRequests();
    std::thread reader([] {
      double angle = 0;
      (void)GetAxisPosition(0, &angle);
    });
    if (line->Arrival(Wire::kRead, 0, 3000)) {
      const auto called = Clock::now();
      (void)StopAxis(1);
      if (const auto at = line->Arrival(Wire::kHalt, 1, 3000)) took = Ms(*at - called);
    }
    reader.join();
    line->SetReplyDelay(0);
  }
  Close(*line);
  return took;
}

// A goto runs; a host thread polls at 25 Hz.
std::optional<double> StopDuringGoto(int family) {
  auto line = MakeLineFamily(family);
  std::optional<double> took;
  if (Open(*line, line->AltAzModel())) {
    double at = 0;
    (void)GetAxisPosition(0, &at);
    std::atomic<bool> polling{true};
    std::thread poller([&] {
      while (polling) {
        uint32_t word = 0;
        (void)GetMountState(&word);
        double angle = 0;
        (void)GetAxisPosition(0, &angle);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
      }
    });
    (void)GotoAxis(0, at + Deg(40));
    if (WaitFor([&] { return line->Moving(0); }, 5000)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      line->ClearRequests();
      const auto called = Clock::now();
      (void)StopAxis(0);
      if (const auto halt = line->Arrival(Wire::kHalt, 0, 3000)) took = Ms(*halt - called);
    }
    polling = false;
    poller.join();
  }
  Close(*line);
  return took;
}

// Hex commands: a slow rate asked for during a fast slew halts the axis and
// waits for it to report stopped; StopAxis comes during that wait. Also
// counts whether any mode, period or start reached the controller after it.
struct StopWait {
  std::optional<double> wire, returned;
  bool motionAfter = false;
};

StopWait StopDuringStopWait(bool neverStops) {
  sidera::emulator::Family3Options o;
  o.countsPerRevolution = 1452951;
  o.echo = true;
  o.decelerationDegPerSec2 = 3.4 / 5;  // five seconds from the fastest slew
  if (neverStops) o.neverStopsAxis = 0;
  sidera::emulator::Family3Emulator emu(o);
  StopWait r;
  if (!emu.Start()) return r;
  setenv("SIDERA_SERIAL_PATTERN", emu.DevicePath().c_str(), 1);
  if (CreateMount(3, 0.6, 100.0) == 0 && MoveAxis(0, Deg(3.4)) == 0 &&
      emu.WaitForRequest([](const auto& q) { return q.line == ":J1"; }, 3000)) {
    emu.ClearRequests();
    (void)MoveAxis(0, kSidereal);
    // Halted and polled at least once since.
    Clock::time_point halted;
    if (emu.WaitForRequest(
            [&](const auto& q) {
              if (q.line == ":K1") halted = q.at;
              return q.line == ":K1";
            },
            3000) &&
        emu.WaitForRequest([&](const auto& q) { return q.line == ":f1" && q.at > halted; }, 3000)) {
      const auto called = Clock::now();
      (void)StopAxis(0);
      r.returned = Ms(Clock::now() - called);
      (void)emu.WaitForRequest(
          [&](const auto& q) {
            if (q.line == ":K1" && q.at >= called && !r.wire) r.wire = Ms(q.at - called);
            return r.wire.has_value();
          },
          3000);
      (void)WaitFor(Idle, 5000);
      for (const auto& q : emu.Requests()) {
        r.motionAfter |= q.at >= called && (q.letter == 'G' || q.letter == 'I' || q.letter == 'J');
      }
    }
  }
  (void)DestroyMount();
  return r;
}

struct Silence {
  std::optional<double> known, ended, told;
};

enum class Motion { kGoto, kSlew, kTracking, kIdle };
const char* const kMotionNames[] = {"goto", "slew", "track", "idle"};

// The controller falls silent during `motion` with the host polling at
// `hz`; times from its last answer.
Silence SilenceDuring(int family, Motion motion, int hz) {
  auto line = MakeLineFamily(family);
  Silence r;
  const bool equatorial = motion == Motion::kTracking && line->EquatorialModel() >= 0;
  if (!Open(*line, equatorial ? line->EquatorialModel() : line->AltAzModel())) {
    Close(*line);
    return r;
  }
  double at = 0;
  (void)GetAxisPosition(0, &at);
  int started = 0;
  if (motion == Motion::kGoto) started = GotoAxis(0, at + Deg(40));
  if (motion == Motion::kSlew) started = MoveAxis(0, Deg(1.0));
  if (motion == Motion::kTracking) started = SetTracking(1);
  if (started == 0 && WaitFor([&] { return motion == Motion::kIdle || line->Moving(0); }, 5000)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::atomic<bool> polling{hz > 0};
    std::atomic<int64_t> toldAt{0};
    std::thread poller([&] {
      while (polling) {
        uint32_t word = 0;
        for (int code : {GetMountState(&word), GetAxisState(0, &word), GetAxisState(1, &word)}) {
          int64_t none = 0;
          if (code == 100 || code == 101) {
            (void)toldAt.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / std::max(hz, 1)));
      }
    });
    line->SetSilent(true);
    sidera::LineHealth& health = *sidera::g_mount->Line();
    const auto lastAnswer = std::max(health.LastAnswer(0), health.LastAnswer(1));
    if (WaitFor([] { return sidera::g_mount->AxisSilent(0) || sidera::g_mount->AxisSilent(1); },
                8000)) {
      r.known = Ms(Clock::now() - lastAnswer);
    }
    if (WaitFor(Idle, 8000)) r.ended = Ms(Clock::now() - lastAnswer);
    if (hz > 0 && WaitFor([&] { return toldAt != 0; }, 3000)) {
      r.told = Ms(Clock::time_point(Clock::duration(toldAt.load())) - lastAnswer);
    }
    polling = false;
    poller.join();
    line->SetSilent(false);
  }
  Close(*line);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const char* names[] = {"", "packet bus (0, 1)", "byte commands (8-11)", "hex commands (2-5)"};
  std::printf("Stop latency, ms from StopAxis to the halt at the controller (median of %d)\n",
              rounds);
  std::printf("  %-22s %-26s %-26s\n", "family", "behind a 1 s slow read",
              "during a goto, 25 Hz poll");
  for (int family = 1; family <= 3; ++family) {
    Figures slowRead, duringGoto;
    for (int i = 0; i < rounds; ++i) {
      slowRead.Add(StopBehindSlowRead(family));
      duringGoto.Add(StopDuringGoto(family));
    }
    std::printf("  %-22s %-26s %-26s\n", names[family], slowRead.Text().c_str(),
                duringGoto.Text().c_str());
  }
  for (bool neverStops : {false, true}) {
    Figures wire, returned;
    bool motionAfter = false;
    for (int i = 0; i < rounds; ++i) {
      const StopWait r = StopDuringStopWait(neverStops);
      wire.Add(r.wire);
      returned.Add(r.returned);
      motionAfter |= r.motionAfter;
    }
    std::printf(
        "  hex commands, stop-wait on an axis that %s: on the wire %s, StopAxis returned "
        "after %s ms; a motion command after the stop: %s\n",
        neverStops ? "never stops" : "brakes for 5 s", wire.Text().c_str(), returned.Text().c_str(),
        motionAfter ? "YES" : "never");
  }

  std::printf(
      "\nA controller falls silent (port open): ms after its last answer until the "
      "library knows it / every motion has ended / a polling host is told\n");
  std::printf("  %-22s %-6s %-5s %-22s %-22s %-22s\n", "family", "motion", "poll", "known", "ended",
              "told");
  for (int family = 1; family <= 3; ++family) {
    for (Motion motion : {Motion::kGoto, Motion::kSlew, Motion::kTracking, Motion::kIdle}) {
      for (int hz : {0, 10, 25}) {
        Figures known, ended, told;
        for (int i = 0; i < rounds; ++i) {
          const Silence r = SilenceDuring(family, motion, hz);
          known.Add(r.known);
          ended.Add(r.ended);
          told.Add(r.told);
        }
        std::printf("  %-22s %-6s %2d Hz %-22s %-22s %-22s\n", names[family],
                    kMotionNames[static_cast<int>(motion)], hz, known.Text().c_str(),
                    ended.Text().c_str(), told.Text().c_str());
      }
    }
  }
  return 0;
}
