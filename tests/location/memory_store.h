// Settings kept in memory, with the type each value was written as.
#pragma once

#include <map>
#include <string>

#include "location/core/settings_store.h"

namespace location::testing {

class MemoryStore : public SettingsStore {
 public:
  struct Value {
    std::string text;
    bool isInt = false;
  };
  std::optional<std::string> Read(const std::string& name) const override {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second.text);
  }
  void WriteString(const std::string& name, const std::string& value) override {
    values[name] = {value, false};
  }
  void WriteInt(const std::string& name, int32_t value) override {
    values[name] = {std::to_string(value), true};
  }
  void Remove(const std::string& name) override { values.erase(name); }
  bool Sync() override {
    ++syncs;
    return syncSucceeds;
  }

  std::map<std::string, Value> values;
  int syncs = 0;
  bool syncSucceeds = true;
};

}  // namespace location::testing
