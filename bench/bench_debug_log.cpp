// What the debug log costs the calls a host makes most: GetMountState (on
// the simulator and on an idle packet-bus mount) and one packet-bus exchange
// (GetAxisPosition against the controller emulator), with SIDERA_DEBUG off
// and with the io topic on (lines then go to /dev/null). Also the cost of
// one log statement whose topic is off.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "emulators/family1/family1_emulator.h"
#include "sidera/include/sidera.h"
#if __has_include("sidera/platform/debug_log.h")
#include "sidera/platform/debug_log.h"
#define HAVE_DEBUG_LOG 1
#endif

namespace {

sidera::emulator::Family1Emulator& Emulator() {
  static std::unique_ptr<sidera::emulator::Family1Emulator> emu = [] {
    auto e = std::make_unique<sidera::emulator::Family1Emulator>();
    if (!e->Start()) {
      std::fprintf(stderr, "emulator did not start\n");
      std::exit(1);
    }
    return e;
  }();
  return *emu;
}

// Creates `model` with SIDERA_DEBUG set to `debug` (argument 1 of the
// benchmark: 0 off, 1 io).
bool Create(benchmark::State& state, int model) {
  setenv("SIDERA_DEBUG", state.range(0) != 0 ? "io" : "", 1);
  setenv("SIDERA_SERIAL_PATTERN", Emulator().DevicePath().c_str(), 1);
  if (CreateMount(model, 0.6, 0.0) != 0) {
    state.SkipWithError("connect failed");
    return false;
  }
  state.SetLabel(state.range(0) != 0 ? "debug io" : "debug off");
  return true;
}

void BM_GetMountState(benchmark::State& state, int model) {
  if (!Create(state, model)) return;
  uint32_t mountState = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetMountState(&mountState));
    benchmark::DoNotOptimize(mountState);
  }
  DestroyMount();
}

void BM_Exchange(benchmark::State& state) {
  if (!Create(state, 1)) return;
  double angle = 0;
  for (auto _ : state) {
    if (GetAxisPosition(0, &angle) != 0) {
      state.SkipWithError("no reply");
      break;
    }
    benchmark::DoNotOptimize(angle);
  }
  DestroyMount();
}

BENCHMARK_CAPTURE(BM_GetMountState, simulator, 6)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_GetMountState, packet_bus, 1)->Arg(0)->Arg(1);
BENCHMARK(BM_Exchange)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#ifdef HAVE_DEBUG_LOG
void BM_LogStatementTopicOff(benchmark::State& state) {
  setenv("SIDERA_DEBUG", "", 1);
  sidera::platform::ReloadDebugTopics();
  int counter = 0;
  for (auto _ : state) {
    SIDERA_DEBUG_LOG(kIo, "never written %d", ++counter);
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_LogStatementTopicOff);
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The io lines of the "debug io" runs go nowhere; the figures go to stdout.
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDERR_FILENO);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
