// The hand controller page's stops and traffic, on model 1 over the packet-bus
// emulator (in-process, so that its controller requests are counted), with
// the page's routes called as the HTTP server calls them:
//   1. a pad lease left to lapse: from the last renewal to the axis stopped
//      at the controller (the lease's term is 600 ms; the goal is within 1 s);
//   2. a pad release: from the release to the axis stopped;
//   3. stop-everything during a goto: from the request to the controller's
//      goto ended on both axes;
//   4. the controller requests a second with no page, one, ten and twenty
//      pages open, each asking for the status twice a second as the page does
//      (one status serves them all for 500 ms: at most two readings a second).
//
//   bench_control_page [--trials N] [--seconds S]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alpaca/control_routes.h"
#include "alpaca/telescope.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace {

using namespace sidera;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The time from `from` until `done` holds, polled every millisecond; -1 after 30 s.
double MsUntil(Clock::time_point from, const std::function<bool()>& done) {
  while (!done()) {
    if (Clock::now() - from > 30s) return -1;
    std::this_thread::sleep_for(1ms);
  }
  return Ms(Clock::now() - from);
}

std::string Reply(alpaca::ControlRoutes& routes, const char* command, const std::string& form) {
  alpaca::HttpRequest r{"PUT", std::string("/control/") + command, "", form};
  return routes.Put(r, command).body;
}

uint64_t LeaseOf(const std::string& reply) {
  const size_t at = reply.find("\"lease\":");
  return at == std::string::npos ? 0 : std::strtoull(reply.c_str() + at + 8, nullptr, 10);
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return;
  std::printf("  %-46s median %7.1f ms  max %7.1f ms  (%zu trials)\n", what, ms[ms.size() / 2],
              ms.back(), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  int trials = 10;
  double seconds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--trials") trials = std::max(1, std::atoi(argv[i + 1]));
    if (name == "--seconds") seconds = std::atof(argv[i + 1]);
  }
  emulator::PacketBusEmulator emu(emulator::PacketBusOptions{});
  if (!emu.Start()) return 1;
  alpaca::ServerConfig config;
  config.model = 1;
  config.device = emu.DevicePath();
  config.site = alpaca::SiteSetting{34.2, -118.06, 1700};
  const std::string path = "/tmp/bench_control_page_" + std::to_string(getpid()) + ".json";
  auto telescope = std::make_unique<alpaca::Telescope>(config, path, 1.0);
  auto routes = std::make_unique<alpaca::ControlRoutes>(*telescope);
  alpaca::ControlRoutes& r = *routes;
  if (Reply(r, "connect", "on=true").find("\"ok\":true") == std::string::npos) {
    std::fprintf(stderr, "bench_control_page: the mount did not connect\n");
    return 1;
  }
  auto stopped = [&](int axis) { return [&emu, axis] { return emu.RateWireValue(axis) == 0; }; };

  // 1 and 2: tracking off, so that a stopped axis has no rate at all.
  std::vector<double> lapse, release;
  for (int i = 0; i < trials; ++i) {
    uint64_t lease = LeaseOf(Reply(r, "move", "direction=w&speed=1"));
    if (lease == 0) return 1;
    Clock::time_point last = Clock::now();
    for (int k = 0; k < 4; ++k) {  // held for 0.8 s
      std::this_thread::sleep_for(200ms);
      (void)Reply(r, "renew", "lease=" + std::to_string(lease));
      last = Clock::now();
    }
    lapse.push_back(MsUntil(last, stopped(0)));
    lease = LeaseOf(Reply(r, "move", "direction=n&speed=1"));
    std::this_thread::sleep_for(300ms);
    const auto released = Clock::now();
    (void)Reply(r, "release", "lease=" + std::to_string(lease));
    release.push_back(MsUntil(released, stopped(1)));
  }

  // 3: gotos between two places high in the south, each stopped on its way.
  (void)Reply(r, "tracking", "on=true");
  std::vector<double> halt;
  for (int i = 0; i < std::max(1, trials / 2); ++i) {
    const double lst = telescope->LocalSiderealTime(telescope->UtcNow()) * 12 / 3.14159265358979;
    const double ra = std::fmod(lst + (i % 2 == 0 ? 1.5 : 22.5), 24.0);
    const std::string go =
        Reply(r, "goto", "ra=" + std::to_string(ra) + "&dec=" + (i % 2 == 0 ? "10" : "-10"));
    if (go.find("\"ok\":true") == std::string::npos) {
      std::fprintf(stderr, "bench_control_page: %s\n", go.c_str());
      return 1;
    }
    std::this_thread::sleep_for(1500ms);
    const auto asked = Clock::now();
    (void)Reply(r, "stop", "");
    halt.push_back(
        MsUntil(asked, [&] { return !emu.GotoInProgress(0) && !emu.GotoInProgress(1); }));
    std::this_thread::sleep_for(500ms);
  }

  // 4: the mount tracking, pages asking for the status twice a second.
  auto traffic = [&](int pages) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const size_t before = emu.Requests().size();
    const auto start = Clock::now();
    for (int p = 0; p < pages; ++p) {
      threads.emplace_back([&, p] {
        auto next = Clock::now() + std::chrono::milliseconds(p * 37 % 500);
        while (!stop) {
          std::this_thread::sleep_until(next);
          next += 500ms;
          alpaca::HttpRequest status{"GET", "/control/status", "", ""};
          (void)r.Get(status, "status");
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    return static_cast<double>(emu.Requests().size() - before) /
           std::chrono::duration<double>(Clock::now() - start).count();
  };
  const double none = traffic(0), one = traffic(1), ten = traffic(10), twenty = traffic(20);

  std::printf("hand controller page, model 1 on the packet-bus emulator (in-process)\n");
  Print("pad lease lapse: last renewal -> axis stopped", lapse);
  Print("pad release -> axis stopped", release);
  Print("stop-everything during a goto -> goto ended", halt);
  std::printf(
      "  controller requests a second while tracking: no page %.1f, one page %.1f, "
      "ten pages %.1f, twenty pages %.1f\n",
      none, one, ten, twenty);
  routes.reset();
  telescope.reset();
  std::remove(path.c_str());
  const bool lapsedInTime = *std::max_element(lapse.begin(), lapse.end()) < 1000 &&
                            *std::min_element(lapse.begin(), lapse.end()) >= 0;
  return lapsedInTime ? 0 : 1;
}
