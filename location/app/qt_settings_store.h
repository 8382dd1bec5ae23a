// The settings store of the program: the user's settings of organisation
// "ZENARA.en", application "ZENARAWindow", in the native format (on Linux an
// INI file, ~/.config/ZENARA.en/ZENARAWindow.conf).
#pragma once

#include <QSettings>

#include "location/core/settings_store.h"

namespace location {

class QtSettingsStore : public SettingsStore {
 public:
  QtSettingsStore();
  std::optional<std::string> Read(const std::string& name) const override;
  void WriteString(const std::string& name, const std::string& value) override;
  void WriteInt(const std::string& name, int32_t value) override;
  void Remove(const std::string& name) override;
  // QSettings writes the whole file to a temporary file and renames it over
  // the old one, so a failed save leaves the previous settings intact.
  bool Sync() override;

 private:
  mutable QSettings settings_;
};

}  // namespace location
