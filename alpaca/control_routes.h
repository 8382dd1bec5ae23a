// The browser hand controller's routes under /control/: the page itself, a
// status line shared by every open page, the direction pad under leases,
// stop-everything, goto by name or coordinates, tracking and park, and an
// alignment on stars centred with the pad. Each
// command goes through the same telescope members as an Alpaca client's
// (so it is refused for the same reasons: parked, limits, not connected);
// what Alpaca has no member for (the pad's lease, goto by name) is the
// page's alone. Answers are JSON: {"ok": true|false, "message": ...}.
// Commands are PUTs: a page of another site open in the same browser cannot
// send one, as a cross-origin PUT needs the server's consent, never given.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "alpaca/control_lease.h"
#include "alpaca/http_api.h"
#include "alpaca/telescope.h"

namespace sidera::alpaca {

// The ClientID under which the page connects the mount: it keeps the mount
// connected like any Alpaca client until the page disconnects.
inline constexpr uint32_t kControlClient = 3200000032u;
// Every open page asks for the status twice a second; one answer serves them
// all for this long, so that more pages never mean more reads of the mount.
inline constexpr std::chrono::milliseconds kStatusShared{500};

class ControlRoutes {
 public:
  explicit ControlRoutes(Telescope& telescope,
                         std::chrono::milliseconds leaseTerm = ControlLease::kDefaultTerm);
  // Adds the routes to `api`; this object must outlive its server.
  void AddTo(HttpApi& api);

  // The routes, as the server calls them (GET: the page, status, where;
  // PUT: the commands) (`rest` follows "/control/").
  HttpReply Get(const HttpRequest& request, std::string_view rest);
  HttpReply Put(const HttpRequest& request, std::string_view rest);

  // The status every page shows, as JSON text (shared for kStatusShared).
  std::string StatusText();
  ControlLease& Lease() { return lease_; }

 private:
  std::string BuildStatus();
  // Adds the star named `name`, centred now, as a point of the pointing
  // model (the points the Alpaca syncs add, too) and fits the model to them
  // all; the answer lists every point's residual.
  nlohmann::json AddAlignStar(const std::string& name);
  void StatusChanged();  // a command changed the mount: the next status is read anew

  Telescope& telescope_;
  ControlLease lease_;
  std::mutex statusMutex_;
  std::string status_;
  std::chrono::steady_clock::time_point statusTaken_{};
  // Set by a command (and a lease's stop) without statusMutex_, which a
  // status being read holds while it waits for the mount.
  std::atomic<bool> statusStale_{false};
  // The names of the stars added from the page, to label the model's points.
  struct AlignName {
    double raHours, decDegrees;
    std::string name;
  };
  std::mutex alignMutex_;
  std::vector<AlignName> alignNames_;
};

}  // namespace sidera::alpaca
