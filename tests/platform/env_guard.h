// Sets or clears one environment variable for a scope and restores it after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace sidera::platform::testing {

class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {  // nullptr: unset
    if (const char* old = std::getenv(name)) saved_ = old;
    Apply(value);
  }
  ~EnvGuard() { Apply(saved_ ? saved_->c_str() : nullptr); }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  void Apply(const char* value) {
    if (value) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace sidera::platform::testing
