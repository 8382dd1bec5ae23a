// The HTTP side: the device API under /api/v1/telescope/0/, the management
// API and the setup pages, as a table of routes that the HTTP server's
// handler threads consult. Answers follow the Alpaca rules: JSON with the
// client's transaction number echoed, or HTTP 400 with a plain-text reason
// for a request the server cannot make sense of.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "alpaca/http_server.h"
#include "alpaca/setup_page.h"
#include "alpaca/telescope.h"

namespace sidera::alpaca {

class HttpApi {
 public:
  HttpApi(Telescope& telescope, SetupContext setup);
  // Answers one request: the HTTP server's handler.
  HttpReply Serve(const HttpRequest& request);

  // A route answers `method` on `path`, or with `prefix` on every path that
  // starts with it; the handler gets the rest of the path after it.
  using RouteHandler = std::function<HttpReply(const HttpRequest&, std::string_view rest)>;
  void Add(std::string method, std::string path, RouteHandler handler, bool prefix = false);

 private:
  struct Route {
    std::string method;
    std::string path;
    bool prefix;
    RouteHandler handler;
  };
  HttpReply Device(const HttpRequest& request, std::string_view rest);
  HttpReply Management(const HttpRequest& request, std::string_view what);

  Telescope& telescope_;
  SetupContext setup_;
  std::atomic<uint32_t> serverTransaction_{0};
  std::vector<Route> routes_;
};

}  // namespace sidera::alpaca
