// An HTTP/1.1 server over Boost.Beast and Asio. One network thread reads and
// writes every connection without blocking; complete requests go to a small
// pool of handler threads (a handler may wait for the mount), and each reply
// goes back to the network thread. A connection costs a socket and its
// buffers, never a thread, so idle and slow clients cannot crowd out others:
// a request head (and its body) must arrive whole within a deadline however
// its bytes trickle in, a connection idle between requests is closed, and at
// the connection cap a newcomer replaces the connection waiting longest. Replies leave in one write
// with Nagle's algorithm off, so a kept-alive client never waits for a delayed ack.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace sidera::alpaca {

struct HttpRequest {
  std::string method;  // "GET", "PUT", "POST", ...
  std::string path;    // the target up to '?', as sent
  std::string query;   // after '?', still encoded
  std::string body;
};

struct HttpReply {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  std::string location;  // a redirect's target, when not empty
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

struct HttpLimits {
  size_t maxHeadBytes = 8 * 1024;
  size_t maxBodyBytes = 64 * 1024;
  // From a request's first byte to its last, however slowly it arrives.
  std::chrono::milliseconds requestDeadline{10000};
  // Between requests on a kept-alive connection (and before the first).
  std::chrono::milliseconds idleTimeout{30000};
  std::chrono::milliseconds writeDeadline{10000};
  // At this many connections, a new one closes the one that has waited
  // longest for its next request (or is refused when every one is busy).
  size_t maxConnections = 4000;
  int handlerThreads = 16;
  // Requests for which this is true (a stop) run on a handler thread of
  // their own, so that they never queue behind handlers that all wait for
  // a slow mount.
  std::function<bool(const HttpRequest&)> urgent;
};

class HttpServer {
 public:
  explicit HttpServer(HttpHandler handler, HttpLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on `address` ("127.0.0.1", "0.0.0.0", "::", a host name) and
  // `port` (0: any free port). Returns the port, or 0 with the reason.
  int Bind(const std::string& address, int port, std::string* error);
  // Serves until Stop(); false when nothing was bound.
  bool Run();
  // Ends Run() from any thread; the requests being handled finish first.
  void Stop();
  // Connections open now.
  size_t Connections() const;

  class Impl;  // the sessions reach it too

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace sidera::alpaca
