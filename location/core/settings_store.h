// Where the program keeps its settings, as named values: strings and 32-bit
// integers. The program uses the user's settings file; tests use memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace location {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text of a value (an integer reads as its decimal text);
  // nothing when the value is missing.
  virtual std::optional<std::string> Read(const std::string& name) const = 0;
  virtual void WriteString(const std::string& name, const std::string& value) = 0;
  virtual void WriteInt(const std::string& name, int32_t value) = 0;
  virtual void Remove(const std::string& name) = 0;
  // Makes every write so far durable, all or nothing. False when the
  // settings could not be saved.
  virtual bool Sync() = 0;
};

// A stored 32-bit value: decimal text, optionally signed, nothing else.
std::optional<int32_t> ParseStoredInt(const std::optional<std::string>& text);

}  // namespace location
