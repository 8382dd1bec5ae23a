// The site-changed broadcast as a D-Bus signal on the session bus:
//   path /en/zenara/ZENARAWindow, interface en.zenara.ZENARAWindow,
//   signal WindowMessage(uint32 message, uint32 wParam, int32 lParam)
// sent to every listener. Without a session bus nothing is sent.
#pragma once

#include "location/core/site_controller.h"

namespace location {

inline constexpr const char* kBroadcastPath = "/en/zenara/ZENARAWindow";
inline constexpr const char* kBroadcastInterface = "en.zenara.ZENARAWindow";
inline constexpr const char* kBroadcastSignal = "WindowMessage";

class DBusBroadcaster : public Broadcaster {
 public:
  void Broadcast(uint32_t message, uint32_t wParam, int32_t lParam) override;
};

}  // namespace location
