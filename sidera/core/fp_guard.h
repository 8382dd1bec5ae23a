// Watches the floating-point status of a numerical computation.
//
// The alignment must stop as soon as a step divides by zero, overflows,
// underflows or produces a denormal value or a NaN, rather than carry a
// meaningless number into the pointing model. FpGuard saves the caller's
// floating-point environment and clears the status flags on construction,
// and restores the caller's environment (flags and modes alike) when it goes
// out of scope, on every exit path. In between, Faulted() is asked after
// each step.
#pragma once

#include <cfenv>
#include <initializer_list>

namespace sidera {

class FpGuard {
 public:
  // The status flags that stop a computation. Inexact is never one of them.
  static constexpr int kFaultFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID;

  FpGuard();
  ~FpGuard();
  FpGuard(const FpGuard&) = delete;
  FpGuard& operator=(const FpGuard&) = delete;

  // True when a fault flag has been raised since construction, or when one
  // of `results` is subnormal (a denormal operand of the next step) or not
  // finite (a NaN carried in from an operand raises no flag of its own).
  // Passing the step's results also makes sure they are computed before the
  // flags are read: this function lives in its own translation unit.
  bool Faulted(std::initializer_list<double> results = {}) const;

 private:
  std::fenv_t saved_;
};

}  // namespace sidera
