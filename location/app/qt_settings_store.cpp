// Settings through QSettings in the native format.
#include "location/app/qt_settings_store.h"

namespace location {

QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZENARA.en"),
                QStringLiteral("ZENARAWindow")) {}

std::optional<std::string> QtSettingsStore::Read(const std::string& name) const {
  const QVariant value = settings_.value(QString::fromStdString(name));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void QtSettingsStore::WriteString(const std::string& name, const std::string& value) {
  settings_.setValue(QString::fromStdString(name), QString::fromStdString(value));
}

void QtSettingsStore::WriteInt(const std::string& name, int32_t value) {
  settings_.setValue(QString::fromStdString(name), value);
}

void QtSettingsStore::Remove(const std::string& name) {
  settings_.remove(QString::fromStdString(name));
}

bool QtSettingsStore::Sync() {
  settings_.sync();
  return settings_.status() == QSettings::NoError;
}

}  // namespace location
