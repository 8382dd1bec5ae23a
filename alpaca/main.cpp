// sidera-alpaca: one Sidera mount as an ASCOM Alpaca telescope.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "alpaca/control_routes.h"
#include "alpaca/discovery.h"
#include "alpaca/http_api.h"
#include "alpaca/http_server.h"
#include "alpaca/options.h"
#include "alpaca/server_config.h"
#include "alpaca/telescope.h"
#include "host/location_site.h"
#include "host/model_facts.h"
#include "host/sky_clock.h"
#include "sidera_version.h"

namespace {

using namespace sidera::alpaca;

bool IsLoopback(const std::string& address) {
  return address.rfind("127.", 0) == 0 || address == "::1" || address == "localhost";
}

// A telescope's AbortSlew (PUT /api/v1/telescope/N/abortslew, any case).
bool IsAbortSlew(const HttpRequest& request) {
  constexpr std::string_view kMember = "/abortslew";
  const std::string& path = request.path;
  if (request.method != "PUT" || path.size() < kMember.size()) return false;
  for (size_t i = 0; i < kMember.size(); ++i) {
    const char c = path[path.size() - kMember.size() + i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kMember[i]) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "sidera-alpaca: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::printf(kUsage, sidera::host::LastModel());
    return 0;
  }
  if (options.version) {
    std::printf("sidera-alpaca %s\n", SIDERA_VERSION);
    return 0;
  }
  if (options.configPath.empty()) options.configPath = DefaultConfigPath();

  ServerConfig config;
  if (!LoadConfig(options.configPath, &config, &error)) {
    std::fprintf(stderr, "sidera-alpaca: %s\n", error.c_str());
    return 2;
  }
  if (!error.empty()) std::fprintf(stderr, "sidera-alpaca: %s\n", error.c_str());
  // The command line and the Location program's site apply to this run only;
  // what clients and the setup page change is stored over `stored`.
  const ServerConfig stored = config;
  if (options.model) config.model = *options.model;
  if (options.device) config.device = *options.device;
  const std::string locationPath = sidera::host::LocationSettingsPath();
  if (!config.site) {
    const auto stored = sidera::host::ReadStoredSite(locationPath);
    if (stored.latitude && stored.longitude) {
      config.site = SiteSetting{*stored.latitude, *stored.longitude, stored.elevation.value_or(0)};
      std::printf("sidera-alpaca: site from the Location program (%s)\n", locationPath.c_str());
    }
  }

  // Signals are taken by one thread with sigwait; every other thread
  // (created below) inherits the blocked mask. A client that hangs up while
  // it is being answered must not end the server.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Telescope telescope(stored, options.configPath, sidera::host::ClockScaleFromEnvironment());
  telescope.UseForThisRun(config);
  telescope.SetClientTimeout(std::chrono::seconds(options.clientTimeoutSeconds));
  HttpApi api(telescope, SetupContext{options.configPath, locationPath});
  ControlRoutes control(telescope);  // the hand controller page, /control/
  control.AddTo(api);
  HttpLimits limits;
  // An abort never waits for a handler thread: the others may all be
  // waiting for reads of a controller that answers late.
  limits.urgent = [](const HttpRequest& request) { return IsAbortSlew(request); };
  HttpServer server([&api](const HttpRequest& request) { return api.Serve(request); }, limits);
  const int port = server.Bind(options.listen, options.port, &error);
  if (port == 0) {
    std::fprintf(stderr, "sidera-alpaca: cannot serve on %s port %d: %s\n", options.listen.c_str(),
                 options.port, error.c_str());
    return 1;
  }
  const bool loopback = IsLoopback(options.listen);
  const std::string host =
      options.listen.find(':') != std::string::npos ? "[" + options.listen + "]" : options.listen;
  std::printf("sidera-alpaca: serving ASCOM Alpaca at http://%s:%d/ (%s)\n", host.c_str(), port,
              loopback ? "this computer only; --listen 0.0.0.0 serves the network"
                       : "reachable from the network");
  std::printf("sidera-alpaca: telescope 0 is %s; setup page http://%s:%d/setup\n",
              telescope.ModelName().c_str(), host.c_str(), port);
  std::printf("sidera-alpaca: hand controller http://%s:%d/control/\n", host.c_str(), port);

  DiscoveryResponder discovery;
  if (options.discoveryPort != 0) {
    if (discovery.Start(options.discoveryPort, port, loopback, &error)) {
      std::printf("sidera-alpaca: answering Alpaca discovery on UDP port %d%s\n",
                  options.discoveryPort, loopback ? " (from this computer only)" : "");
    } else {
      std::fprintf(stderr, "sidera-alpaca: no discovery: %s\n", error.c_str());
    }
  }
  std::fflush(stdout);

  std::thread signals([&] {
    int signal = 0;
    (void)sigwait(&stopSignals, &signal);
    server.Stop();
  });
  const bool served = server.Run();
  if (!served) kill(getpid(), SIGTERM);  // ends the signal thread
  signals.join();
  discovery.Stop();
  telescope.Shutdown();
  std::printf("sidera-alpaca: stopped; the axes are stopped and the mount released\n");
  return served ? 0 : 1;
}
