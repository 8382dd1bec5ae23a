// UDP discovery over IPv4 broadcast and IPv6 multicast.
#include "alpaca/discovery.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sidera::alpaca {
namespace {

constexpr char kQuery[] = "alpacadiscovery1";
constexpr char kGroup[] = "ff12::a1:9aca";

int OpenSocket(int family, int port) {
  const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  // Every server on the machine binds the same port; broadcasts and
  // multicasts reach each of them.
  (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  int bound = -1;
  if (family == AF_INET) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    (void)setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(port));
    a.sin6_addr = in6addr_any;
    bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (bound == 0) {
      // Join the group on every interface that takes it; an interface
      // without multicast simply refuses.
      ipv6_mreq group{};
      (void)inet_pton(AF_INET6, kGroup, &group.ipv6mr_multiaddr);
      if (struct if_nameindex* names = if_nameindex(); names != nullptr) {
        for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
          group.ipv6mr_interface = n->if_index;
          (void)setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &group, sizeof group);
        }
        if_freenameindex(names);
      }
    }
  }
  if (bound != 0) {
    (void)close(fd);
    return -1;
  }
  return fd;
}

bool IsLoopback(const sockaddr_storage& from) {
  if (from.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&from);
    return (ntohl(a->sin_addr.s_addr) >> 24) == 127;
  }
  const auto* a = reinterpret_cast<const sockaddr_in6*>(&from);
  if (IN6_IS_ADDR_LOOPBACK(&a->sin6_addr)) return true;
  return IN6_IS_ADDR_V4MAPPED(&a->sin6_addr) && a->sin6_addr.s6_addr[12] == 127;
}

uint16_t SenderPort(const sockaddr_storage& from) {
  if (from.ss_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in*>(&from)->sin_port);
  if (from.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&from)->sin6_port);
  }
  return 0;
}

}  // namespace

bool DiscoveryResponder::Start(int udpPort, int httpPort, bool loopbackOnly, std::string* error) {
  httpPort_ = httpPort;
  loopbackOnly_ = loopbackOnly;
  socket4_ = OpenSocket(AF_INET, udpPort);
  const int error4 = errno;
  socket6_ = OpenSocket(AF_INET6, udpPort);
  if (socket4_ < 0 && socket6_ < 0) {
    *error = "cannot open UDP port " + std::to_string(udpPort) + ": " + std::strerror(error4);
    return false;
  }
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void DiscoveryResponder::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
    thread_.join();
  }
  for (int* fd : {&socket4_, &socket6_, &wake_}) {
    if (*fd >= 0) (void)close(*fd);
    *fd = -1;
  }
}

void DiscoveryResponder::Run() {
  const std::string reply = "{\"AlpacaPort\":" + std::to_string(httpPort_) + "}";
  pollfd fds[3] = {{wake_, POLLIN, 0}, {socket4_, POLLIN, 0}, {socket6_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    for (int i = 1; i < 3; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & POLLIN) == 0) continue;
      // Only the query itself is answered: a datagram of another length
      // (MSG_TRUNC gives its full length), another text, an empty one or one
      // from port 0 is dropped.
      char buffer[64];
      sockaddr_storage from{};
      socklen_t length = sizeof from;
      const ssize_t n = recvfrom(fds[i].fd, buffer, sizeof buffer, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &length);
      if (n != static_cast<ssize_t>(sizeof kQuery - 1) ||
          std::memcmp(buffer, kQuery, sizeof kQuery - 1) != 0 || SenderPort(from) == 0) {
        continue;
      }
      if (loopbackOnly_ && !IsLoopback(from)) continue;
      (void)sendto(fds[i].fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                   length);
    }
  }
}

}  // namespace sidera::alpaca
