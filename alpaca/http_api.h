// The HTTP side: the device API under /api/v1/telescope/0/, the management
// API, the setup pages, and the limits every request is held to (body size,
// read and write time). Answers follow the Alpaca rules: JSON with the
// client's transaction number echoed, or HTTP 400 with a plain-text reason
// for a request the server cannot make sense of.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>

#include "alpaca/setup_page.h"
#include "alpaca/telescope.h"

namespace sidera::alpaca {

// The largest request body taken (Alpaca form bodies are a few hundred bytes).
inline constexpr size_t kMaxBodyBytes = 64 * 1024;

class HttpApi {
 public:
  HttpApi(Telescope& telescope, SetupContext setup);
  httplib::Server& server() { return server_; }

 private:
  void Device(const httplib::Request& req, httplib::Response& res);
  void Management(const httplib::Request& req, httplib::Response& res);

  Telescope& telescope_;
  SetupContext setup_;
  std::atomic<uint32_t> serverTransaction_{0};
  httplib::Server server_;
};

}  // namespace sidera::alpaca
