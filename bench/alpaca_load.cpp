// Load on sidera-alpaca: N clients (20) each poll RightAscension, Declination
// and Slewing at 10 Hz for S seconds (60) while the mount slews back and
// forth, against model 1 on its controller emulator. Prints the latency
// percentiles, the failed requests, and the serial traffic (controller
// requests a second) beside that of a single client polling the same way, to
// show that clients share the line instead of multiplying its traffic.
//
//   bench_alpaca_load [--seconds S] [--clients N] [--server PATH]
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulators/packet_bus/packet_bus_emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  std::vector<double> latencyMs;
  long failed = 0;
  double exchangesPerSecond = 0;
};

std::string ServerPath(const char* argv0) {
  std::string self(argv0);
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/sidera-alpaca";
}

// Starts the server; returns its pid and port.
pid_t StartServer(const std::string& path, const std::string& device, const std::string& home,
                  int* port) {
  int out[2];
  if (pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    execl(path.c_str(), path.c_str(), "--model", "1", "--device", device.c_str(), "--port", "0",
          "--discovery-port", "0", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') text += c;
  const size_t at = text.find("127.0.0.1:");
  *port = at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 10);
  return pid;
}

bool Put(httplib::Client& c, const std::string& member, const httplib::Params& params) {
  auto r = c.Put(("/api/v1/telescope/0/" + member).c_str(), params);
  return r && r->status == 200 && r->body.find("\"ErrorNumber\":0") != std::string::npos;
}

Figures Run(int port, sidera::emulator::PacketBusEmulator& emulator, int clients, double seconds) {
  Figures f;
  std::mutex mutex;
  std::atomic<bool> stop{false};
  emulator.ClearRequests();
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      httplib::Client c("127.0.0.1", port);
      c.set_keep_alive(true);
      std::vector<double> mine;
      long failed = 0;
      auto next = Clock::now() + std::chrono::milliseconds(7 * i);
      const std::string query = "?ClientID=" + std::to_string(100 + i);
      while (!stop) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(100);
        for (const char* member : {"rightascension", "declination", "slewing"}) {
          const auto t0 = Clock::now();
          auto r = c.Get((std::string("/api/v1/telescope/0/") + member + query).c_str());
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
          if (!r || r->status != 200 || r->body.find("\"ErrorNumber\":0") == std::string::npos) {
            ++failed;
          }
        }
      }
      std::lock_guard<std::mutex> lock(mutex);
      f.latencyMs.insert(f.latencyMs.end(), mine.begin(), mine.end());
      f.failed += failed;
    });
  }
  // Slews back and forth while the clients poll.
  httplib::Client driver("127.0.0.1", port);
  bool east = true;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    (void)Put(driver, "slewtocoordinatesasync",
              {{"RightAscension", east ? "2" : "8"}, {"Declination", east ? "30" : "50"}});
    east = !east;
    std::this_thread::sleep_for(std::chrono::seconds(5));
  }
  stop = true;
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  f.exchangesPerSecond = static_cast<double>(emulator.Requests().size()) / elapsed;
  std::sort(f.latencyMs.begin(), f.latencyMs.end());
  return f;
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()))];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  int clients = 20;
  std::string server = ServerPath(argv[0]);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--seconds") seconds = std::atof(argv[i + 1]);
    if (name == "--clients") clients = std::atoi(argv[i + 1]);
    if (name == "--server") server = argv[i + 1];
  }
  sidera::emulator::PacketBusOptions options;
  sidera::emulator::PacketBusEmulator emulator(options);
  if (!emulator.Start()) return 1;
  char home[] = "/tmp/sidera-alpaca-bench-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  int port = -1;
  const pid_t pid = StartServer(server, emulator.DevicePath(), home, &port);
  if (pid <= 0 || port <= 0) {
    std::fprintf(stderr, "bench_alpaca_load: %s did not start\n", server.c_str());
    return 1;
  }
  httplib::Client setup("127.0.0.1", port);
  const bool ready = Put(setup, "connected", {{"Connected", "true"}}) &&
                     Put(setup, "sitelatitude", {{"SiteLatitude", "34.2"}}) &&
                     Put(setup, "sitelongitude", {{"SiteLongitude", "-118.06"}}) &&
                     Put(setup, "tracking", {{"Tracking", "true"}});
  if (!ready) {
    std::fprintf(stderr, "bench_alpaca_load: the server did not connect to the emulator\n");
    kill(pid, SIGTERM);
    return 1;
  }
  const Figures one = Run(port, emulator, 1, std::min(seconds, 20.0));
  const Figures many = Run(port, emulator, clients, seconds);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  std::printf("sidera-alpaca load, model 1 on its emulator, slewing every 5 s\n");
  std::printf("  %2d client(s) x 10 Hz x 3 members: %zu requests, %ld failed\n", clients,
              many.latencyMs.size(), many.failed);
  std::printf("  latency ms: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
              Percentile(many.latencyMs, 0.5), Percentile(many.latencyMs, 0.9),
              Percentile(many.latencyMs, 0.99), Percentile(many.latencyMs, 1.0));
  std::printf("  serial traffic: %.1f controller requests a second (one client: %.1f)\n",
              many.exchangesPerSecond, one.exchangesPerSecond);
  return many.failed == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
