// A sky position and the tick at which it held, kept as one pair.
#pragma once

#include <cstdint>
#include <mutex>

#include "sidera/core/types.h"

namespace sidera {

// A sky position together with the tick at which it held. The tracking
// threads compute rates from the pair, so it is written and read as one:
// a reader never combines the position of one capture with the tick of
// another.
class SkyReference {
 public:
  struct Value {
    SkyPoint point{0.0, 0.0};
    uint32_t tick = 0;
  };
  void Store(const SkyPoint& point, uint32_t tick) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_ = Value{point, tick};
  }
  Value Load() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }

 private:
  mutable std::mutex mutex_;
  Value value_;
};

}  // namespace sidera
