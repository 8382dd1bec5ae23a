// Floating-point status checks of the alignment computations.
#include "sidera/core/fp_guard.h"

#include <cmath>

namespace sidera {

FpGuard::FpGuard() {
  // Saves the whole environment and clears the status flags, so that only
  // what the guarded computation raises is seen.
  std::feholdexcept(&saved_);
}

FpGuard::~FpGuard() { std::fesetenv(&saved_); }

bool FpGuard::Faulted(std::initializer_list<double> results) const {
  for (double r : results) {
    const int kind = std::fpclassify(r);
    if (kind == FP_SUBNORMAL || kind == FP_NAN || kind == FP_INFINITE) return true;
  }
  return std::fetestexcept(kFaultFlags) != 0;
}

}  // namespace sidera
