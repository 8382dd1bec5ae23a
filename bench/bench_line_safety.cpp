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
//     byte-command family) or while idle, the host polling at 0, 10, 25 or 100 Hz
//     - known: its last answer -> the library counts the axis silent
//     - ended: its last answer -> every motion has ended
//     - told: its last answer -> the first host read that returns 100/101
//
// Usage: bench_line_safety [ROUNDS]  (default 3; the median and the worst of
// the rounds are printed).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"
#include "tests/support/new_mount_settings.h"

namespace {

using namespace sidera::testing;
using Clock = LineFamily::Clock;

constexpr double kPi = 3.141592653589793;
constexpr double kSidereal = 2 * kPi / 86164.09065;
double Deg(double d) { return d * kPi / 180; }
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool Idle() {
  sidera::TelescopeMount* m = sidera::g_mount;
  return m != nullptr && m->ClaimOn(0) == 0 && m->ClaimOn(1) == 0 && m->AxesIdle() &&
         m->Published().MountState() != sidera::MOUNT_TRACKING;
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

// StopAxis(axis) -> its halt at the controller, ms.
std::optional<double> TimeStop(LineFamily& line, int axis) {
  const auto called = Clock::now();
  (void)StopAxis(axis);
  const auto halt = line.Arrival(Wire::kHalt, axis, 3000, called);
  return halt ? std::optional<double>(Ms(*halt - called)) : std::nullopt;
}

// A read the controller answers 1 s late is under way on another thread.
std::optional<double> StopBehindSlowRead(int family) {
  const sidera::testing::NewMountSettings readOnLine(
      {.readOutWindowMs = 0});  // the read goes to the line
  MountOnLine m(family, false);
  std::optional<double> took;
  if (m.created != 0) return took;
  m.line->SetReplyDelay(1000);
  m.line->ClearRequests();
  std::thread reader([] {
    double angle = 0;
    (void)GetAxisPosition(0, &angle);
  });
  if (m.line->Arrival(Wire::kRead, 0, 3000)) took = TimeStop(*m.line, 1);
  reader.join();
  m.line->SetReplyDelay(0);
  return took;
}

// A goto runs; a host thread polls at 25 Hz.
std::optional<double> StopDuringGoto(int family) {
  MountOnLine m(family, false);
  double at = 0;
  if (m.created != 0 || GetAxisPosition(0, &at) != 0) return std::nullopt;
  StatePoller poller(25);
  if (GotoAxis(0, at + Deg(40)) != 0 || !Eventually([&] { return m.line->Moving(0); }, 5000)) {
    return std::nullopt;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return TimeStop(*m.line, 0);
}

// Hex commands: a slow rate asked for during a fast slew halts the axis and
// waits for it to report stopped; StopAxis comes during that wait, on an
// axis that brakes for 5 s (fault 5) or never stops (fault 6).
struct StopWait {
  std::optional<double> wire, returned;
  bool motionAfter = false;
};

StopWait StopDuringStopWait(int fault) {
  MountOnLine m(3, true, true);
  StopWait r;
  LineFamily& line = *m.line;
  if (m.created != 0) return r;
  line.SetFault(fault, 0);
  if (MoveAxis(0, Deg(3.4)) != 0 || !line.Arrival(Wire::kStart, 0, 3000)) return r;
  const auto asked = Clock::now();
  (void)MoveAxis(0, kSidereal);
  const auto halted = line.Arrival(Wire::kHalt, 0, 3000, asked);
  if (!halted || !line.Arrival(Wire::kRead, 0, 3000, *halted + std::chrono::microseconds(1))) {
    return r;
  }
  const auto called = Clock::now();
  r.wire = TimeStop(line, 0);
  r.returned = Ms(Clock::now() - called);
  (void)Eventually(Idle, 5000);
  r.motionAfter = line.Arrival(Wire::kStart, 0, 200, called).has_value();
  return r;
}

enum class Motion { kGoto, kSlew, kTracking, kIdle };
const char* const kMotionNames[] = {"goto", "slew", "track", "idle"};

struct Silence {
  std::optional<double> known, ended, told;
};

// The controller falls silent during `motion` with the host polling at
// `hz`; times from its last answer.
Silence SilenceDuring(int family, Motion motion, int hz) {
  const bool equatorial = motion == Motion::kTracking && family != 2;
  MountOnLine m(family, equatorial);
  Silence r;
  double at = 0;
  if (m.created != 0 || GetAxisPosition(0, &at) != 0) return r;
  int started = 0;
  if (motion == Motion::kGoto) started = GotoAxis(0, at + Deg(40));
  if (motion == Motion::kSlew) started = MoveAxis(0, Deg(1.0));
  if (motion == Motion::kTracking) started = SetTracking(1);
  if (started != 0 ||
      !Eventually([&] { return motion == Motion::kIdle || m.line->Moving(0); }, 5000)) {
    return r;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  StatePoller poller(hz);
  m.line->SetSilent(true);
  sidera::LineHealth& health = *sidera::g_mount->Line();
  const auto lastAnswer = std::max(health.LastAnswer(0), health.LastAnswer(1));
  if (Eventually([] { return sidera::g_mount->AxisSilent(0) || sidera::g_mount->AxisSilent(1); },
                 8000)) {
    r.known = Ms(Clock::now() - lastAnswer);
  }
  if (Eventually(Idle, 8000)) r.ended = Ms(Clock::now() - lastAnswer);
  if (hz > 0 && Eventually([&] { return poller.Seen() != 0; }, 3000)) {
    r.told = Ms(poller.SeenAt() - lastAnswer);
  }
  poller.Stop();
  m.line->SetSilent(false);
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
  for (int fault : {5, 6}) {
    Figures wire, returned;
    bool motionAfter = false;
    for (int i = 0; i < rounds; ++i) {
      const StopWait r = StopDuringStopWait(fault);
      wire.Add(r.wire);
      returned.Add(r.returned);
      motionAfter |= r.motionAfter;
    }
    std::printf(
        "  hex commands, stop-wait on an axis that %s: on the wire %s, StopAxis returned "
        "after %s ms; a motion command after the stop: %s\n",
        fault == 6 ? "never stops" : "brakes for 5 s", wire.Text().c_str(), returned.Text().c_str(),
        motionAfter ? "YES" : "never");
  }

  std::printf(
      "\nA controller falls silent (port open): ms after its last answer until the library "
      "knows it / every motion has ended / a polling host is told\n");
  std::printf("  %-22s %-6s %-5s %-22s %-22s %-22s\n", "family", "motion", "poll", "known", "ended",
              "told");
  for (int family = 1; family <= 3; ++family) {
    for (Motion motion : {Motion::kGoto, Motion::kSlew, Motion::kTracking, Motion::kIdle}) {
      for (int hz : {0, 10, 25, 100}) {
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
