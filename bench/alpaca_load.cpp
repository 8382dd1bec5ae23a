// Load on sidera-alpaca on a hardware model's emulator, the mount slewing
// back and forth: model 3 on the hex-command emulator paced at its real 9600
// baud (--line hex, the default), or model 1 on the packet-bus emulator served
// in-process, whose traffic is counted (--line packet). Every client keeps
// one connection alive and polls
// RightAscension, Declination and Slewing:
//   1. N clients (20) at 10 Hz for S seconds (30);
//   2. 200 clients at 1 Hz for S seconds;
//   3. one client at 10 Hz while 1,000 idle connections and 50 slow ones
//      (one byte of a request a second) are open.
// Prints the latency percentiles and failed requests of each, and the serial
// traffic (controller requests a second) beside that of a single client, to
// show that clients share the line instead of multiplying its traffic.
//
//   bench_alpaca_load [--seconds S] [--clients N] [--line hex|packet] [--server PATH]
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/front_end_kit.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace sidera::bench;

struct Figures {
  std::vector<double> latencyMs;
  long failed = 0;
  double exchangesPerSecond = 0;
};

// `exchanges` counts the controller requests so far (empty: not counted).
Figures Run(int port, const std::function<size_t()>& exchanges, int clients, double seconds,
            int periodMs) {
  Figures f;
  std::mutex mutex;
  std::atomic<bool> stop{false};
  const size_t exchangesBefore = exchanges ? exchanges() : 0;
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      Connection c(port);
      std::vector<double> mine;
      long failed = 0;
      auto next = Clock::now() + std::chrono::milliseconds((7 * i) % periodMs);
      const std::string query = "?ClientID=" + std::to_string(100 + i);
      while (!stop) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(periodMs);
        for (const char* member : {"rightascension", "declination", "slewing"}) {
          const auto t0 = Clock::now();
          const bool ok = c.Request("GET", std::string("/api/v1/telescope/0/") + member + query);
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
          if (!ok) ++failed;
        }
      }
      std::lock_guard<std::mutex> lock(mutex);
      f.latencyMs.insert(f.latencyMs.end(), mine.begin(), mine.end());
      f.failed += failed;
    });
  }
  // Slews back and forth while the clients poll.
  Connection driver(port);
  bool east = true;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    (void)Put(driver, "slewtocoordinatesasync",
              east ? "RightAscension=2&Declination=30" : "RightAscension=8&Declination=50");
    east = !east;
    std::this_thread::sleep_for(std::chrono::seconds(5));
  }
  stop = true;
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  f.exchangesPerSecond =
      exchanges ? static_cast<double>(exchanges() - exchangesBefore) / elapsed : -1;
  std::sort(f.latencyMs.begin(), f.latencyMs.end());
  return f;
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()))];
}

// Opens `idle` connections that send nothing and `slow` ones that send a
// request one byte a second (reopened when the server cuts them) until `stop`.
void Crowd(int port, int idle, int slow, const std::atomic<bool>& stop) {
  auto open = [port] {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
  };
  std::vector<int> idleFds, slowFds;
  for (int i = 0; i < idle; ++i) idleFds.push_back(open());
  for (int i = 0; i < slow; ++i) slowFds.push_back(open());
  const std::string head = "GET /api/v1/telescope/0/name HTTP/1.1\r\nHost: x\r\nX-Slow: ";
  for (size_t step = 0; !stop; ++step) {
    for (int& fd : slowFds) {
      const char byte = head[step % head.size()];
      if (send(fd, &byte, 1, MSG_NOSIGNAL) != 1) {
        close(fd);
        fd = open();
      }
    }
    for (int i = 0; i < 10 && !stop; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (int fd : idleFds) close(fd);
  for (int fd : slowFds) close(fd);
}

void Print(const char* what, const Figures& f) {
  std::printf("  %s: %zu requests, %ld failed\n", what, f.latencyMs.size(), f.failed);
  std::printf("    latency ms: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
              Percentile(f.latencyMs, 0.5), Percentile(f.latencyMs, 0.9),
              Percentile(f.latencyMs, 0.99), Percentile(f.latencyMs, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 30;
  int clients = 20;
  std::string server = Beside(argv[0], "sidera-alpaca");
  std::string line = "hex";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--seconds") seconds = std::atof(argv[i + 1]);
    if (name == "--clients") clients = std::atoi(argv[i + 1]);
    if (name == "--server") server = argv[i + 1];
    if (name == "--line") line = argv[i + 1];
  }
  sidera::emulator::PacketBusEmulator packetBus(sidera::emulator::PacketBusOptions{});
  std::function<size_t()> exchanges;
  std::string device, model;
  pid_t emulatorPid = -1;
  if (line == "packet") {
    if (!packetBus.Start()) return 1;
    device = packetBus.DevicePath();
    model = "1";
    exchanges = [&packetBus] { return packetBus.Requests().size(); };
  } else {
    emulatorPid = StartProgram({Beside(argv[0], "hex-command-emulator"), "--pace"}, &device);
    model = "3";
  }
  char home[] = "/tmp/sidera-alpaca-bench-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  std::string banner;
  const pid_t pid = StartProgram(
      {server, "--model", model, "--device", device, "--port", "0", "--discovery-port", "0"},
      &banner, home);
  const size_t at = banner.find("127.0.0.1:");
  const int port = at == std::string::npos ? -1 : std::atoi(banner.c_str() + at + 10);
  if (pid <= 0 || port <= 0) {
    std::fprintf(stderr, "bench_alpaca_load: %s did not start\n", server.c_str());
    return 1;
  }
  Connection setup(port);
  const bool ready = Put(setup, "connected", "Connected=true") &&
                     Put(setup, "sitelatitude", "SiteLatitude=34.2") &&
                     Put(setup, "sitelongitude", "SiteLongitude=-118.06") &&
                     Put(setup, "tracking", "Tracking=true");
  if (!ready) {
    std::fprintf(stderr, "bench_alpaca_load: the server did not connect to the emulator\n");
    kill(pid, SIGTERM);
    if (emulatorPid > 0) kill(emulatorPid, SIGTERM);
    return 1;
  }
  const Figures one = Run(port, exchanges, 1, std::min(seconds, 20.0), 100);
  const Figures many = Run(port, exchanges, clients, seconds, 100);
  const Figures crowd200 = Run(port, exchanges, 200, seconds, 1000);
  std::atomic<bool> stopCrowd{false};
  std::thread crowd([&] { Crowd(port, 1000, 50, stopCrowd); });
  std::this_thread::sleep_for(std::chrono::seconds(2));  // all open
  const Figures besieged = Run(port, exchanges, 1, seconds, 100);
  stopCrowd = true;
  crowd.join();
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  if (emulatorPid > 0) {
    kill(emulatorPid, SIGTERM);
    waitpid(emulatorPid, nullptr, 0);
  }
  std::printf(
      "sidera-alpaca load, model %s on its emulator (%s), slewing every 5 s, kept-alive "
      "clients\n",
      model.c_str(), line == "packet" ? "packet bus, in-process" : "hex command, 9600 baud");
  Print((std::to_string(clients) + " clients x 10 Hz x 3 members").c_str(), many);
  Print("200 clients x 1 Hz x 3 members", crowd200);
  Print("1 client x 10 Hz x 3 members among 1,000 idle and 50 slow connections", besieged);
  if (exchanges) {
    std::printf("  serial traffic: %.1f controller requests a second (one client: %.1f)\n",
                many.exchangesPerSecond, one.exchangesPerSecond);
  }
  const long failed = many.failed + crowd200.failed + besieged.failed;
  return failed == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
