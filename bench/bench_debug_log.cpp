// What the debug log costs the calls a host makes most: GetMountState on the
// simulator and one packet-bus exchange (GetAxisPosition against the
// controller emulator), with SIDERA_DEBUG off (argument 0) and with the io
// topic on (argument 1; the lines go to /dev/null).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "emulators/packet_bus/packet_bus_emulator.h"
#include "sidera/include/sidera.h"

namespace {

void BM_Call(benchmark::State& state, int model) {
  static sidera::emulator::PacketBusEmulator emulator;
  if (model == 1 && !emulator.Start()) return state.SkipWithError("no emulator");
  setenv("SIDERA_SERIAL_PATTERN", emulator.DevicePath().c_str(), 1);
  setenv("SIDERA_DEBUG", state.range(0) != 0 ? "io" : "", 1);
  if (CreateMount(model, 0.6, 0.0) != 0) return state.SkipWithError("connect failed");
  uint32_t mountState = 0;
  double angle = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(model == 1 ? GetAxisPosition(0, &angle) : GetMountState(&mountState));
  }
  DestroyMount();
  if (model == 1) emulator.Stop();
}

BENCHMARK_CAPTURE(BM_Call, GetMountState_simulator, 6)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_Call, exchange_packet_bus, 1)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const int null = open("/dev/null", O_WRONLY);  // the io lines of argument 1
  if (null >= 0) dup2(null, STDERR_FILENO);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
