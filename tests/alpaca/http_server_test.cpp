// The HTTP server's own limits, with short deadlines: a request that trickles
// in is cut at its deadline, an idle connection is closed, a newcomer at the
// connection cap replaces the connection waiting longest, oversized heads and
// bodies are refused, and a kept-alive connection serves one request after
// another. Bounds are generous: the outcome matters, not the timing.
#include "alpaca/http_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sidera::alpaca {
namespace {

using namespace std::chrono_literals;

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpLimits limits;
    limits.requestDeadline = 500ms;
    limits.idleTimeout = 3000ms;
    limits.maxConnections = 8;
    limits.maxHeadBytes = 1024;
    limits.maxBodyBytes = 1024;
    limits.handlerThreads = 2;
    Start(
        [](const HttpRequest& r) {
          HttpReply reply;
          reply.body = r.method + " " + r.path + "?" + r.query + " " + r.body;
          return reply;
        },
        limits);
  }
  // Serves `handler` under `limits` on a free loopback port.
  void Start(std::function<HttpReply(const HttpRequest&)> handler, const HttpLimits& limits) {
    server_ = std::make_unique<HttpServer>(std::move(handler), limits);
    std::string error;
    port_ = server_->Bind("127.0.0.1", 0, &error);
    ASSERT_GT(port_, 0) << error;
    thread_ = std::thread([this] { server_->Run(); });
  }
  void TearDown() override {
    server_->Stop();
    if (thread_.joinable()) thread_.join();
  }

  int Open() const {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
  }
  static void Send(int fd, const std::string& text) {
    (void)send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }
  // What arrives within `wait`; "" when the server closed without a word,
  // "(open)" when the connection is still open and silent.
  static std::string Receive(int fd, std::chrono::milliseconds wait) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return got.empty() ? "(open)" : got;
      }
      char buffer[2048];
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return got;
      got.append(buffer, static_cast<size_t>(n));
      const size_t head = got.find("\r\n\r\n");
      const size_t length = got.find("Content-Length: ");
      if (head != std::string::npos && length < head &&
          got.size() >= head + 4 + std::stoul(got.substr(length + 16))) {
        return got;
      }
    }
  }

  std::unique_ptr<HttpServer> server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(HttpServerTest, KeptAliveConnectionServesRequestAfterRequest) {
  const int fd = Open();
  for (int i = 0; i < 3; ++i) {
    Send(fd, "PUT /a/b?x=" + std::to_string(i) +
                 " HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nk=v");
    const std::string reply = Receive(fd, 5000ms);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    EXPECT_NE(reply.find("PUT /a/b?x=" + std::to_string(i) + " k=v"), std::string::npos) << reply;
  }
  close(fd);
}

TEST_F(HttpServerTest, RequestThatTricklesInIsCutAtItsDeadline) {
  const int fd = Open();
  const std::string head = "GET /slow HTTP/1.1\r\nHost: h\r\nX-Long: aaaaaaaaaaaaaaaaaaaaaaaa";
  std::string got = "(open)";
  // One byte every 50 ms: far within any per-read time-out, never a whole
  // request within the 500 ms deadline.
  for (size_t i = 0; i < head.size() && got == "(open)"; ++i) {
    Send(fd, head.substr(i, 1));
    got = Receive(fd, 50ms);
  }
  EXPECT_EQ(got, "") << "the server kept a request that took over a second";
  close(fd);
}

TEST_F(HttpServerTest, IdleConnectionIsClosed) {
  const int fd = Open();
  EXPECT_EQ(Receive(fd, 10000ms), "");
  close(fd);
}

TEST_F(HttpServerTest, NewcomerAtTheCapReplacesTheLongestWaiting) {
  std::vector<int> idle;
  for (int i = 0; i < 8; ++i) {
    idle.push_back(Open());
    std::this_thread::sleep_for(10ms);
  }
  const int fd = Open();
  Send(fd, "GET /now HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(Receive(fd, 5000ms).rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(Receive(idle.front(), 500ms), "") << "the oldest idle connection was closed";
  EXPECT_EQ(Receive(idle.back(), 100ms), "(open)");
  for (int i : idle) close(i);
  close(fd);
}

TEST_F(HttpServerTest, OversizedOrMalformedRequestsAreRefused) {
  const std::string requests[] = {
      "GET / HTTP/1.1\r\nHost: h\r\nX: " + std::string(2000, 'a') + "\r\n\r\n",
      "PUT / HTTP/1.1\r\nHost: h\r\nContent-Length: 5000\r\n\r\n" + std::string(5000, 'b'),
      "GET / HTTP/1.1\r\nHost h\r\n\r\n", "\x01\x02\x03 nonsense\r\n\r\n"};
  for (const std::string& text : requests) {
    const int fd = Open();
    Send(fd, text);
    const std::string reply = Receive(fd, 5000ms);
    EXPECT_EQ(reply.rfind("HTTP/1.1 400", 0), 0u) << text.substr(0, 40) << " -> " << reply;
    close(fd);
  }
}

// An abort never queues behind handlers that all wait (for a mount whose
// reads come late): urgent requests have a handler thread of their own.
TEST_F(HttpServerTest, AnUrgentRequestIsServedWhileEveryHandlerWaits) {
  server_->Stop();
  thread_.join();
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  HttpLimits limits;
  limits.handlerThreads = 2;
  limits.urgent = [](const HttpRequest& r) { return r.path == "/stop"; };
  ASSERT_NO_FATAL_FAILURE(Start(
      [&](const HttpRequest& r) {
        if (r.path == "/slow") {
          std::unique_lock<std::mutex> lock(mutex);
          released.wait(lock, [&] { return release; });
        }
        HttpReply reply;
        reply.body = r.path;
        return reply;
      },
      limits));
  std::vector<int> slow;
  for (int i = 0; i < 3; ++i) {
    slow.push_back(Open());
    Send(slow.back(), "GET /slow HTTP/1.1\r\nHost: h\r\n\r\n");
  }
  const int fd = Open();
  Send(fd, "PUT /stop HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n");
  const std::string reply = Receive(fd, 5000ms);
  EXPECT_NE(reply.find("/stop"), std::string::npos) << reply;
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  released.notify_all();
  for (int s : slow) {
    EXPECT_NE(Receive(s, 5000ms).find("/slow"), std::string::npos);
    close(s);
  }
  close(fd);
}

}  // namespace
}  // namespace sidera::alpaca
