// The Alpaca discovery responder: a datagram "alpacadiscovery1" on UDP port
// 32227, sent to the IPv4 broadcast address or the IPv6 multicast group
// ff12::a1:9aca, is answered with {"AlpacaPort": N}. Several servers on one
// machine share the port (each answers). A server that listens on loopback
// only answers loopback senders: others could not reach it.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace sidera::alpaca {

inline constexpr int kDiscoveryPort = 32227;

class DiscoveryResponder {
 public:
  ~DiscoveryResponder() { Stop(); }
  // Opens the IPv4 and IPv6 sockets on `udpPort` and starts answering with
  // `httpPort`. False (with the reason) when neither socket can be opened.
  bool Start(int udpPort, int httpPort, bool loopbackOnly, std::string* error);
  void Stop();

 private:
  void Run();

  int socket4_ = -1;
  int socket6_ = -1;
  int wake_ = -1;  // eventfd that ends the loop
  int httpPort_ = 0;
  bool loopbackOnly_ = true;
  std::thread thread_;
};

}  // namespace sidera::alpaca
