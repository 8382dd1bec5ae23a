// Broadcasting a window message over the D-Bus session bus.
#include "location/app/dbus_broadcaster.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace location {

void DBusBroadcaster::Broadcast(uint32_t message, uint32_t wParam, int32_t lParam) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kBroadcastPath),
                                                   QString::fromLatin1(kBroadcastInterface),
                                                   QString::fromLatin1(kBroadcastSignal));
  signal << static_cast<uint>(message) << static_cast<uint>(wParam) << static_cast<int>(lParam);
  (void)bus.send(signal);  // a lost broadcast is not the user's concern
}

}  // namespace location
