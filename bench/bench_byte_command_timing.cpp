// How long the byte-command mounts take on a line paced like the real one
// (4800 baud, about 2 ms a byte), against the controller emulator at its
// default goto speed of 8 degrees per second: one command round trip, gotos
// over several distances, and one tracking cycle. Prints its figures.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "emulators/byte_command/byte_command_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPi = 3.141592653589793;

double Rad(double deg) { return deg * kPi / 180.0; }
double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

bool MotionFinished() {
  sidera::TelescopeMount* m = sidera::g_mount;
  return m->ClaimOn(0) == 0 && m->ClaimOn(1) == 0 && m->AxesIdle();
}

}  // namespace

int main() {
  sidera::emulator::ByteCommandOptions options;
  options.pace = true;
  sidera::emulator::ByteCommandEmulator emu(options);
  if (!emu.Start()) return 1;
  setenv("SIDERA_SERIAL_PATTERN", emu.DevicePath().c_str(), 1);
  if (CreateMount(8, Rad(34.0), 0.0) != 0) {
    std::fprintf(stderr, "connect failed\n");
    return 1;
  }

  constexpr int kReads = 200;
  double angle = 0;
  const auto start = Clock::now();
  for (int i = 0; i < kReads; ++i) (void)GetAxisPosition(0, &angle);
  std::printf("position read (1 + 3 bytes): %.2f ms a round trip\n",
              SecondsSince(start) * 1000.0 / kReads);

  // Gotos from home; each axis moves by the distance given.
  for (double degrees : {5.0, 30.0, 90.0}) {
    (void)GotoAxes(0.0, 0.0);
    while (!MotionFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto t = Clock::now();
    (void)GotoAxes(Rad(degrees), Rad(degrees));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    while (!MotionFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("goto of %4.0f degrees on both axes: %.1f s (%.1f s of slewing)\n", degrees,
                SecondsSince(t), degrees / options.gotoDegPerSec);
  }

  // A sky goto ends in tracking. Its second cycle (read both axes, capture
  // the sky position, set both rates) is all that goes over the line then.
  (void)GotoSky(-kPi / 6, Rad(20.0));
  while (emu.RateWireValue(0) == 0 || emu.RateWireValue(1) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  emu.ClearRequests();
  auto rates = [&emu] {
    int n = 0;
    for (const auto& r : emu.Requests())
      n += r.command == 0x06 || r.command == 0x07 || r.command == 0x1A || r.command == 0x1B;
    return n;
  };
  while (rates() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto requests = emu.Requests();
  std::printf("tracking cycle: %zu commands in %.1f ms, then 10 s (30 s aligned) of rest\n",
              requests.size(),
              (requests.back().seconds - requests.front().seconds) * 1000.0 + 4 * 2.08);
  (void)DestroyMount();
  return 0;
}
