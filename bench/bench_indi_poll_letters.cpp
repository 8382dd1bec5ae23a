// What a host that polls once a second costs the line of a tracking
// hex-command mount (model 3 on its emulator, paced at 9600 baud): the
// commands a minute by letter and axis, with the line watch as it runs and
// with the watch held off, so that what the watch adds while a host polls
// shows. The poll is the INDI driver's (its mount session's Poll):
// GetMotionOutcome, GetAxisPositions, GetSkyPosition, GetHorizontalPosition,
// GetMountState, once a second after the previous poll ended.
// The goal: 60 position reads ("j") and 60 status reads ("f") per axis a
// minute, and nothing more from the watch.
//
// Usage: bench_indi_poll_letters [SECONDS]   (default 60)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "emulators/hex_command/hex_command_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/support/new_mount_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

void IndiPoll() {
  MotionOutcome record{};
  AxisPair axes{};
  SkyPoint sky{};
  HorizontalPoint horizontal{};
  uint32_t state = 0;
  (void)GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &record);
  if (GetAxisPositions(&axes) != 0) return;
  if (GetSkyPosition(&sky) != 0) return;
  if (GetHorizontalPosition(&horizontal) != 0) return;
  (void)GetMountState(&state);
}

// Commands a minute by "letter axis", polled for `seconds`; the watch held
// off when `watch` is false.
std::map<std::string, double> PerMinute(int seconds, bool watch) {
  std::map<std::string, double> counts;
  sidera::emulator::HexCommandOptions o;
  o.pace = true;
  sidera::emulator::HexCommandEmulator emu(o);
  if (!emu.Start()) return counts;
  setenv("SIDERA_SERIAL_PATTERN", emu.DevicePath().c_str(), 1);
  {
    sidera::MountSettings settings;
    if (!watch) settings.lineProbeQuietMs = 3600 * 1000;
    const sidera::testing::NewMountSettings chosen(settings);
    if (CreateMount(3, 0.6, 100.0) != 0) return counts;
  }
  (void)SetTracking(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  emu.ClearRequests();
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    IndiPoll();
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60.0;
  for (const auto& r : emu.Requests()) {
    counts[std::string(1, r.letter) + " " + std::to_string(r.axis)] += 1.0 / minutes;
    counts["all"] += 1.0 / minutes;
  }
  (void)DestroyMount();
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const auto withWatch = PerMinute(seconds, true);
  const auto withoutWatch = PerMinute(seconds, false);
  std::printf("INDI poll at 1 s on model 3 tracking, %d s each: commands a minute\n", seconds);
  std::printf("  %-10s %12s %12s\n", "letter axis", "watch on", "watch off");
  std::map<std::string, std::pair<double, double>> rows;
  for (const auto& [key, n] : withWatch) rows[key].first = n;
  for (const auto& [key, n] : withoutWatch) rows[key].second = n;
  for (const auto& [key, n] : rows) {
    std::printf("  %-10s %12.1f %12.1f\n", key.c_str(), n.first, n.second);
  }
  return 0;
}
