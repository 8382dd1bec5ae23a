// How soon an abort reaches the controller through each front end when the
// controller answers reads 2 s late: model 3 on the hex-command emulator,
// served in this process and paced at its real 9600 baud. Each trial starts
// a motion with reads answered at once; once the controller has been told to
// start ("J"), its reads are answered 2 s late; a second later, with the
// host's reads held up, the front end is asked to abort. The figure is the
// time from that request to the first halt ("K" or "L") arriving at the
// controller, and to the halts of both axes. The goal: 100 ms.
//   alpaca  sidera-alpaca, 20 clients polling RightAscension, Declination
//           and Slewing at 10 Hz; the motion SlewToCoordinatesAsync, the
//           abort AbortSlew;
//   indi    indiserver with indi_sidera_telescope polling every 100 ms, 4
//           clients besides the one that drives it; the motion a goto
//           (EQUATORIAL_EOD_COORD), the abort TELESCOPE_ABORT_MOTION;
//   sidera  `sidera run -- goto STAR`, interrupted (SIGINT) during its goto.
//
//   bench_abort_latency [--trials N] [--clients N] [--only alpaca|indi|sidera]
//
// Last figures (release build, 7 trials, median / max ms, first halt = both
// axes' halts): alpaca 6.1 / 7.1; indi 6.9 / 7.3; sidera 6.1 / 7.0. The
// goto now survives the late reads (it sends an axis's command again while
// the axis is not judged silent), so no front end has stopped the mount on
// its own before the abort comes; the abort finds a read on the line, which
// it cuts short. With the goto alive, the 20 Alpaca pollers keep every
// HTTP handler waiting for the late reads: AbortSlew runs on a handler of
// its own (4076 ms without it). Before (goto failed at its first late read, the front
// end's own stop then held the line): indi 167 / 217, sidera 158 / 308 (both
// axes 811 once).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/front_end_kit.h"
#include "emulators/hex_command/hex_command_emulator.h"

namespace {

using namespace sidera::bench;
using sidera::emulator::HexCommandEmulator;
using sidera::emulator::HexCommandOptions;
using sidera::emulator::HexCommandRequest;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kLateReadMs = 2000;
constexpr double kLatitude = 60;  // the stars and targets used stay up all night

// The controller, whose reads come late on demand.
class Controller {
 public:
  bool Start() { return emulator_.Start(); }
  std::string Device() const { return emulator_.DevicePath(); }
  void LateReads(bool late) {
    emulator_.UpdateOptions([late](HexCommandOptions& o) {
      o.pace = true;
      o.readDelayAfterConnectMs = late ? kLateReadMs : 0;
    });
  }
  // True once a request of `letter` (any axis) has come since `since`.
  bool WaitFor(char letter, Clock::time_point since, int timeoutMs) {
    return emulator_.WaitForRequest(
        [&](const HexCommandRequest& r) { return r.letter == letter && r.at >= since; }, timeoutMs);
  }
  // Milliseconds from `asked` to the first halt of any axis, and to the
  // later of the two axes' first halts; -1 for one that did not come.
  std::pair<double, double> Halts(Clock::time_point asked, int timeoutMs) {
    auto halt = [asked](const HexCommandRequest& r, int axis) {
      return (r.letter == 'K' || r.letter == 'L') && r.at >= asked && (axis < 0 || r.axis == axis);
    };
    emulator_.WaitForRequest([&](const HexCommandRequest& r) { return halt(r, 0); }, timeoutMs);
    emulator_.WaitForRequest([&](const HexCommandRequest& r) { return halt(r, 1); }, 2000);
    double first = -1, axis[2] = {-1, -1};
    for (const HexCommandRequest& r : emulator_.Requests()) {
      if (!halt(r, -1)) continue;
      const double ms = std::chrono::duration<double, std::milli>(r.at - asked).count();
      if (first < 0) first = ms;
      if (r.axis >= 0 && axis[r.axis] < 0) axis[r.axis] = ms;
    }
    const double both = axis[0] < 0 || axis[1] < 0 ? -1 : std::max(axis[0], axis[1]);
    return {first, both};
  }

 private:
  HexCommandEmulator emulator_{[] {
    HexCommandOptions o;
    o.pace = true;
    return o;
  }()};
};

struct Figures {
  std::vector<double> first, both;
  int missed = 0;
};

// One trial: `start` a motion with prompt reads, make the reads late once
// it runs, then `abort` and time the halts.
void Trial(Controller& c, const std::function<bool()>& start, const std::function<void()>& abort,
           Figures& f) {
  c.LateReads(false);
  const auto begun = Clock::now();
  if (!start() || !c.WaitFor('J', begun, 60000)) {
    std::fprintf(stderr, "  the motion did not start\n");
    ++f.missed;
    return;
  }
  c.LateReads(true);
  std::this_thread::sleep_for(1s);  // the host's reads are now held up
  const auto asked = Clock::now();
  abort();
  const auto [first, both] = c.Halts(asked, 10000);
  std::fprintf(stderr, "  halts after %.1f ms (both axes %.1f ms)\n", first, both);
  if (first < 0) {
    ++f.missed;
  } else {
    f.first.push_back(first);
    if (both >= 0) f.both.push_back(both);
  }
  c.LateReads(false);
  std::this_thread::sleep_for(3s);  // the axes brake and the host catches up
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
double Max(const std::vector<double>& v) {
  return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

void Print(const char* name, const Figures& f) {
  const bool all = !f.first.empty() && f.missed == 0;
  std::printf(
      "%-7s trials %zu, missed %d | first halt ms: median %.1f max %.1f (goal 100: %s) | "
      "both axes ms: median %.1f max %.1f (%s)\n",
      name, f.first.size(), f.missed, Median(f.first), Max(f.first),
      all && Max(f.first) <= 100 ? "met" : "NOT met", Median(f.both), Max(f.both),
      all && f.both.size() == f.first.size() && Max(f.both) <= 100 ? "met" : "NOT met");
  std::fflush(stdout);
}

// Starts `args` with standard output and error discarded, in a process
// group of its own.
pid_t Spawn(const std::vector<std::string>& args, const std::string& home) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Sends `signal` to the process group `pid` leads, or to `pid` alone when it
// leads none.
void Signal(pid_t pid, int signal) {
  if (kill(-pid, signal) != 0) (void)kill(pid, signal);
}

// Ends `pid` (SIGTERM, then SIGKILL) with its group, and reaps it.
void End(pid_t pid) {
  if (pid <= 0) return;
  Signal(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(50ms);
  }
  Signal(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

int OpenTcp(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

Figures Alpaca(const std::string& bin, const std::string& home, int trials, int clients) {
  Figures f;
  Controller c;
  if (!c.Start()) return f;
  std::string banner;
  const pid_t pid = StartProgram({bin + "/sidera-alpaca", "--model", "3", "--device", c.Device(),
                                  "--port", "0", "--discovery-port", "0"},
                                 &banner, home);
  const size_t at = banner.find("127.0.0.1:");
  const int port = at == std::string::npos ? -1 : std::atoi(banner.c_str() + at + 10);
  Connection driver(port), aborter(port);
  const bool ready = port > 0 && Put(driver, "connected", "Connected=true") &&
                     Put(driver, "sitelatitude", "SiteLatitude=" + std::to_string(kLatitude)) &&
                     Put(driver, "sitelongitude", "SiteLongitude=0") &&
                     Put(driver, "tracking", "Tracking=true");
  if (!ready) {
    std::fprintf(stderr, "alpaca: the server did not start or connect (%s)\n", banner.c_str());
    End(pid);
    return f;
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> pollers;
  for (int i = 0; i < clients; ++i) {
    pollers.emplace_back([port, &stop] {
      Connection poll(port);
      while (!stop) {
        for (const char* member : {"rightascension", "declination", "slewing"}) {
          (void)poll.Request("GET", std::string("/api/v1/telescope/0/") + member);
        }
        std::this_thread::sleep_for(100ms);
      }
    });
  }
  bool east = true;
  for (int i = 0; i < trials; ++i) {
    Trial(
        c,
        [&] {
          east = !east;
          return Put(driver, "slewtocoordinatesasync",
                     east ? "RightAscension=2&Declination=80" : "RightAscension=14&Declination=80");
        },
        [&] { (void)Put(aborter, "abortslew", ""); }, f);
  }
  stop = true;
  for (auto& t : pollers) t.join();
  (void)Put(driver, "connected", "Connected=false");
  End(pid);
  return f;
}

// An INDI client that sends what it is given and drains what it is sent.
class IndiClient {
 public:
  explicit IndiClient(int port) : fd_(OpenTcp(port)) {
    if (fd_ < 0) return;
    Send("<getProperties version='1.7'/>");
    reader_ = std::thread([this] {
      char buffer[65536];
      while (recv(fd_, buffer, sizeof buffer, 0) > 0) {
      }
    });
  }
  ~IndiClient() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Send(const std::string& xml) { (void)send(fd_, xml.data(), xml.size(), MSG_NOSIGNAL); }
  void New(const char* kind, const char* property, const std::string& elements) {
    Send(std::string("<new") + kind + "Vector device='Sidera Mount' name='" + property + "'>" +
         elements + "</new" + kind + "Vector>");
  }

 private:
  int fd_;
  std::thread reader_;
};

std::string One(const char* kind, const char* name, const std::string& value) {
  return std::string("<one") + kind + " name='" + name + "'>" + value + "</one" + kind + ">";
}

Figures Indi(const std::string& bin, const std::string& home, int trials, int clients) {
  Figures f;
  Controller c;
  if (!c.Start()) return f;
  // A free port: the one a just-closed listener had.
  int port = 0;
  {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
      port = ntohs(a.sin_port);
    }
    close(fd);
  }
  const pid_t pid = Spawn({"indiserver", "-p", std::to_string(port), "-u",
                           home + "/indi-" + std::to_string(port), bin + "/indi_sidera_telescope"},
                          home);
  int fd = -1;
  for (int i = 0; i < 500 && fd < 0; ++i) {
    std::this_thread::sleep_for(10ms);
    fd = OpenTcp(port);
  }
  if (fd < 0) {
    std::fprintf(stderr, "indi: indiserver did not start\n");
    End(pid);
    return f;
  }
  close(fd);
  IndiClient driver(port);
  std::vector<std::unique_ptr<IndiClient>> others;
  for (int i = 0; i < clients; ++i) others.push_back(std::make_unique<IndiClient>(port));
  std::this_thread::sleep_for(1s);  // the driver has defined its properties
  const auto connecting = Clock::now();
  driver.New("Switch", "MOUNT_MODEL", One("Switch", "MODEL_3", "On"));
  driver.New("Text", "DEVICE_PORT", One("Text", "PORT", c.Device()));
  driver.New("Switch", "CONNECTION", One("Switch", "CONNECT", "On"));
  // The connect ends with both controllers initialised.
  if (!c.WaitFor('F', connecting, 30000)) {
    std::fprintf(stderr, "indi: the driver did not connect\n");
    End(pid);
    return f;
  }
  std::this_thread::sleep_for(1s);
  driver.New("Number", "POLLING_PERIOD", One("Number", "PERIOD_MS", "100"));
  driver.New("Number", "GEOGRAPHIC_COORD",
             One("Number", "LAT", std::to_string(kLatitude)) + One("Number", "LONG", "0") +
                 One("Number", "ELEV", "100"));
  std::this_thread::sleep_for(1s);
  bool east = true;
  for (int i = 0; i < trials; ++i) {
    Trial(
        c,
        [&] {
          east = !east;
          driver.New("Number", "EQUATORIAL_EOD_COORD",
                     One("Number", "RA", east ? "2" : "14") + One("Number", "DEC", "80"));
          return true;
        },
        [&] { driver.New("Switch", "TELESCOPE_ABORT_MOTION", One("Switch", "ABORT", "On")); }, f);
  }
  driver.New("Switch", "CONNECTION", One("Switch", "DISCONNECT", "On"));
  std::this_thread::sleep_for(1s);
  End(pid);
  return f;
}

Figures Sidera(const std::string& bin, const std::string& home, int trials) {
  Figures f;
  Controller c;
  if (!c.Start()) return f;
  const char* stars[] = {"Capella", "Kochab"};
  for (int i = 0; i < trials; ++i) {
    pid_t pid = -1;
    Trial(
        c,
        [&] {
          pid = Spawn({bin + "/sidera", "run", "--model", "3", "--device", c.Device(), "--lat",
                       std::to_string(kLatitude), "--lon", "0", "--", "goto", stars[i % 2]},
                      home);
          return pid > 0;
        },
        [&] { kill(pid, SIGINT); }, f);
    End(pid);
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  int trials = 5, clients = -1;
  std::string only;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--trials") trials = std::max(1, std::atoi(argv[i + 1]));
    if (name == "--clients") clients = std::max(0, std::atoi(argv[i + 1]));
    if (name == "--only") only = argv[i + 1];
  }
  const std::string bin = Beside(argv[0], "");
  char home[] = "/tmp/sidera-abort-bench-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  std::printf("abort latency, model 3 on the hex-command emulator at 9600 baud, reads %d ms late\n",
              kLateReadMs);
  if (only.empty() || only == "alpaca")
    Print("alpaca", Alpaca(bin, home, trials, clients < 0 ? 20 : clients));
  if (only.empty() || only == "indi")
    Print("indi", Indi(bin, home, trials, clients < 0 ? 4 : clients));
  if (only.empty() || only == "sidera") Print("sidera", Sidera(bin, home, trials));
  return 0;
}
