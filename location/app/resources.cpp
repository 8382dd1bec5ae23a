// Loading strings, bitmaps and site tables from the compiled-in resources.
#include "location/app/resources.h"

#include <QFile>

// The resources are compiled into a static library; this pulls them in.
static void InitialiseResources() { Q_INIT_RESOURCE(location_resources); }

namespace location {

Resources::Resources() {
  InitialiseResources();
  QFile file(QStringLiteral(":/strings.txt"));
  if (file.open(QIODevice::ReadOnly)) {
    const QByteArray text = file.readAll();
    strings_ = StringTable::Parse(std::string_view(text.constData(), text.size()));
  }
}

QPixmap Resources::Bitmap(int id) const {
  return QPixmap(QStringLiteral(":/bitmaps/%1.png").arg(id));
}

std::span<const uint8_t> Resources::SiteTable(int id) {
  auto it = tables_.find(id);
  if (it == tables_.end()) {
    QFile file(QStringLiteral(":/sitename/%1.bin").arg(id));
    it = tables_.insert(id, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
  }
  return {reinterpret_cast<const uint8_t*>(it->constData()), static_cast<size_t>(it->size())};
}

QString Resources::Text(int id) const { return QString::fromStdString(strings_.Get(id)); }

}  // namespace location
