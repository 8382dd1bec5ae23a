// Setting the system clock through timedated or clock_settime.
#include "location/app/system_clock.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QTimeZone>
#include <ctime>

namespace location {
namespace {

void SetNow(qint64 msSinceEpoch) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (bus.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("SetTime"));
    // Microseconds since the epoch, absolute, without asking the user.
    call << static_cast<qlonglong>(msSinceEpoch * 1000) << false << false;
    if (bus.call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage) return;
  }
  timespec now{};
  now.tv_sec = static_cast<time_t>(msSinceEpoch / 1000);
  now.tv_nsec = static_cast<long>(msSinceEpoch % 1000) * 1000000;
  (void)clock_settime(CLOCK_REALTIME, &now);  // fails without the privilege
}

}  // namespace

void SystemClock::SetUtc(const gps::GpsTime& utc) {
  const QDateTime when(QDate(utc.year, utc.month, utc.day), QTime(utc.hour, utc.minute, utc.second),
                       QTimeZone::utc());
  if (!when.isValid()) return;
  const qint64 ms = when.toMSecsSinceEpoch();
  QCoreApplication* app = QCoreApplication::instance();
  if (app != nullptr)
    QMetaObject::invokeMethod(
        app, [ms] { SetNow(ms); }, Qt::QueuedConnection);
}

}  // namespace location
