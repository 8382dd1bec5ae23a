// What the benchmarks that drive the host programs share: starting a program
// beside the benchmark's own, and a kept-alive HTTP connection to the Alpaca
// server.
#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace sidera::bench {

inline std::string Beside(const char* argv0, const char* program) {
  std::string self(argv0);
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + program;
}

// Starts `program` with `args`; returns its pid and the first line it prints.
inline pid_t StartProgram(const std::vector<std::string>& args, std::string* firstLine,
                          const std::string& home = "") {
  int out[2];
  if (pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    if (!home.empty()) {
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') *firstLine += c;
  return pid;
}

// One kept-alive HTTP/1.1 connection to the server, reconnected after a
// failure. Enough HTTP for the server's answers: a head and a body of
// Content-Length bytes.
class Connection {
 public:
  explicit Connection(int port) : port_(port) {}
  ~Connection() { Close(); }

  // Sends one request; true when it is answered 200 with ErrorNumber 0.
  bool Request(const std::string& method, const std::string& target, const std::string& form = "") {
    if (fd_ < 0 && !Open()) return false;
    std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (method == "PUT") {
      text += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
              std::to_string(form.size()) + "\r\n";
    }
    text += "\r\n" + form;
    if (send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
      Close();
      return false;
    }
    std::string reply;
    size_t headEnd = std::string::npos;
    size_t length = 0;
    char buffer[4096];
    for (;;) {
      if (headEnd == std::string::npos && (headEnd = reply.find("\r\n\r\n")) != std::string::npos) {
        const size_t at = reply.find("Content-Length: ");
        length = at < headEnd ? std::strtoul(reply.c_str() + at + 16, nullptr, 10) : 0;
      }
      if (headEnd != std::string::npos && reply.size() >= headEnd + 4 + length) break;
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        Close();
        return false;
      }
      reply.append(buffer, static_cast<size_t>(n));
    }
    return reply.rfind("HTTP/1.1 200", 0) == 0 &&
           reply.find("\"ErrorNumber\":0", headEnd) != std::string::npos;
  }

 private:
  bool Open() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    (void)setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A server that stops answering fails the request instead of holding the
    // benchmark for ever.
    const timeval limit{20, 0};
    (void)setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      Close();
      return false;
    }
    return true;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int port_;
  int fd_ = -1;
};

inline bool Put(Connection& c, const std::string& member, const std::string& form) {
  return c.Request("PUT", "/api/v1/telescope/0/" + member, form);
}

}  // namespace sidera::bench
