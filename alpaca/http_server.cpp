// The Beast server: an acceptor and one session per connection on one network
// thread, the handlers on a thread pool.
#include "alpaca/http_server.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <list>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace sidera::alpaca {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

class Session;

}  // namespace

class HttpServer::Impl {
 public:
  Impl(HttpHandler handler, HttpLimits limits)
      : handler(std::move(handler)), limits(limits), workers(limits.handlerThreads) {}

  void Accept();
  // Closes the connection that has waited longest for its next request
  // (idle, or its request still arriving); false when every one is busy.
  bool EvictOldestWaiting();

  const HttpHandler handler;
  const HttpLimits limits;
  std::atomic<size_t> connections{0};
  std::mutex sessionsMutex;  // a session may end on a handler thread
  std::list<std::weak_ptr<Session>> sessions;
  asio::thread_pool workers;           // runs the handlers
  asio::thread_pool urgentWorkers{1};  // runs the urgent ones (HttpLimits::urgent)
  asio::io_context io{1};              // the network thread's; declared last, destroyed first
  tcp::acceptor acceptor{io};
  asio::steady_timer acceptPause{io};
};

namespace {

HttpReply PlainReply(int status, const std::string& text) {
  HttpReply reply;
  reply.status = status;
  reply.body = text + "\n";
  return reply;
}

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, HttpServer::Impl& server)
      : stream_(std::move(socket)), server_(server) {}
  ~Session() {
    if (registered_) {
      std::lock_guard<std::mutex> lock(server_.sessionsMutex);
      server_.sessions.erase(entry_);
    }
    --server_.connections;
  }

  void Start() {
    {
      std::lock_guard<std::mutex> lock(server_.sessionsMutex);
      entry_ = server_.sessions.insert(server_.sessions.end(), weak_from_this());
      registered_ = true;
    }
    beast::error_code ignored;
    stream_.socket().set_option(tcp::no_delay(true), ignored);
    WaitForRequest();
  }

  // Network thread only.
  bool waiting() const { return waiting_; }
  std::chrono::steady_clock::time_point waitingSince() const { return waitingSince_; }
  void Evict() {
    beast::error_code ignored;
    stream_.socket().close(ignored);  // the pending read ends, and with it the session
  }

 private:
  // Between requests: the idle time-out runs until the first byte of the
  // next one (which may already be buffered).
  void WaitForRequest() {
    waiting_ = true;
    waitingSince_ = std::chrono::steady_clock::now();
    if (buffer_.size() > 0) return ReadRequest();
    stream_.expires_after(server_.limits.idleTimeout);
    stream_.async_read_some(buffer_.prepare(2048),
                            [self = shared_from_this()](beast::error_code ec, size_t n) {
                              if (ec) return self->Close();
                              self->buffer_.commit(n);
                              self->ReadRequest();
                            });
  }

  // From the first byte: the whole request within the deadline.
  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(static_cast<uint32_t>(server_.limits.maxHeadBytes));
    parser_->body_limit(server_.limits.maxBodyBytes);
    stream_.expires_after(server_.limits.requestDeadline);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
  }

  void OnRequest(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      return Send(PlainReply(400, "the request body is larger than " +
                                      std::to_string(server_.limits.maxBodyBytes) + " bytes"),
                  false);
    }
    if (ec == http::error::header_limit) {
      return Send(PlainReply(400, "the request head is larger than " +
                                      std::to_string(server_.limits.maxHeadBytes) + " bytes"),
                  false);
    }
    const beast::error_code parseError = http::error::bad_target;
    if (ec && ec.category() == parseError.category() && ec != http::error::end_of_stream &&
        ec != http::error::partial_message) {
      return Send(PlainReply(400, "cannot read the request: " + ec.message()), false);
    }
    if (ec) return Close();  // gone, timed out or cut short
    waiting_ = false;
    auto& message = parser_->get();
    HttpRequest request;
    request.method = std::string(message.method_string());
    const std::string_view target(message.target().data(), message.target().size());
    const size_t q = target.find('?');
    request.path = std::string(target.substr(0, q));
    if (q != std::string_view::npos) request.query = std::string(target.substr(q + 1));
    request.body = std::move(message.body());
    keepAlive_ = message.keep_alive();
    version_ = message.version();
    parser_.reset();
    const bool urgent = server_.limits.urgent && server_.limits.urgent(request);
    asio::thread_pool& pool = urgent ? server_.urgentWorkers : server_.workers;
    asio::post(pool, [self = shared_from_this(), request = std::move(request)] {
      HttpReply reply;
      try {
        reply = self->server_.handler(request);
      } catch (const std::exception& e) {
        reply = PlainReply(500, std::string("internal error: ") + e.what());
      } catch (...) {
        reply = PlainReply(500, "internal error");
      }
      asio::post(self->stream_.get_executor(), [self, reply = std::move(reply)]() mutable {
        self->Send(std::move(reply), self->keepAlive_);
      });
    });
  }

  void Send(HttpReply reply, bool keepAlive) {
    waiting_ = false;
    response_ = {};
    response_.version(version_);
    response_.result(static_cast<unsigned>(reply.status));
    response_.set(http::field::server, "sidera-alpaca");
    response_.set(http::field::content_type, reply.contentType);
    if (!reply.location.empty()) response_.set(http::field::location, reply.location);
    response_.body() = std::move(reply.body);
    response_.keep_alive(keepAlive);
    response_.prepare_payload();
    stream_.expires_after(server_.limits.writeDeadline);
    http::async_write(stream_, response_,
                      [self = shared_from_this(), keepAlive](beast::error_code ec, size_t) {
                        if (ec || !keepAlive) return self->Close();
                        self->WaitForRequest();
                      });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  HttpServer::Impl& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  bool keepAlive_ = false;
  unsigned version_ = 11;
  bool waiting_ = false;
  std::chrono::steady_clock::time_point waitingSince_{};
  std::list<std::weak_ptr<Session>>::iterator entry_;
  bool registered_ = false;
};

}  // namespace

void HttpServer::Impl::Accept() {
  acceptor.async_accept(io, [this](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      // At the cap, a new client takes the place of the one that has waited
      // longest, so that a crowd of idle or slow connections cannot lock
      // everyone else out.
      if (connections >= limits.maxConnections && !EvictOldestWaiting()) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        ++connections;
        std::make_shared<Session>(std::move(socket), *this)->Start();
      }
    } else if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space) {
      // Out of file descriptors: wait for some to close instead of spinning.
      acceptPause.expires_after(std::chrono::milliseconds(100));
      acceptPause.async_wait([this](beast::error_code) { Accept(); });
      return;
    }
    Accept();
  });
}

bool HttpServer::Impl::EvictOldestWaiting() {
  // Copied out first: a session whose last reference goes here ends outside
  // the lock (its destructor takes it).
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard<std::mutex> lock(sessionsMutex);
    open.reserve(sessions.size());
    for (const auto& entry : sessions) {
      if (auto s = entry.lock()) open.push_back(std::move(s));
    }
  }
  Session* oldest = nullptr;
  for (const auto& s : open) {
    if (s->waiting() && (oldest == nullptr || s->waitingSince() < oldest->waitingSince())) {
      oldest = s.get();
    }
  }
  if (oldest == nullptr) return false;
  oldest->Evict();
  return true;
}

HttpServer::HttpServer(HttpHandler handler, HttpLimits limits)
    : impl_(std::make_unique<Impl>(std::move(handler), limits)) {}

HttpServer::~HttpServer() {
  Stop();
  impl_->workers.join();
  impl_->urgentWorkers.join();
}

int HttpServer::Bind(const std::string& address, int port, std::string* error) {
  beast::error_code ec;
  tcp::resolver resolver(impl_->io);
  const auto found = resolver.resolve(address, std::to_string(port),
                                      tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec || found.empty()) {
    *error = "cannot resolve " + address + (ec ? ": " + ec.message() : "");
    return 0;
  }
  const tcp::endpoint endpoint = *found.begin();
  tcp::acceptor& a = impl_->acceptor;
  a.open(endpoint.protocol(), ec);
  if (!ec) a.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    *error = ec.message() + " (in use, or not an address of this computer)";
    beast::error_code ignored;
    a.close(ignored);
    return 0;
  }
  return a.local_endpoint().port();
}

bool HttpServer::Run() {
  if (!impl_->acceptor.is_open()) return false;
  impl_->Accept();
  impl_->io.run();
  impl_->workers.join();
  return true;
}

void HttpServer::Stop() { impl_->io.stop(); }

size_t HttpServer::Connections() const { return impl_->connections; }

}  // namespace sidera::alpaca
