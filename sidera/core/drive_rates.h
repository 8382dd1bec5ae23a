// The rates the mount drives at on its own account: the sky rate tracking
// follows, and the backlash take-up (its rate, its time per axis, and
// whether it is done at all).
#pragma once

#include <atomic>
#include <cstdint>

namespace sidera {

// Written by the host's setters (SetTrackingRateMode, SetSite, SetBacklash)
// and, for the take-up rate, by a model's constructor; read by the motion
// and tracking threads. Every value is one atomic word.
class DriveRates {
 public:
  // The sky rate tracking follows (rad/s); on an equatorial mount its sign
  // follows the hemisphere.
  double TrackingRate() const { return trackingRate_.load(); }
  void UseTrackingRate(double rate) { trackingRate_.store(rate); }

  // Whether a slow motion that reverses an axis first takes up the backlash
  // (on unless switched off).
  bool CompensatesBacklash() const { return compensate_.load(); }
  void CompensateBacklash(bool on) { compensate_.store(on); }

  // The rate a take-up runs at (rad/s); a model whose controller has
  // another fast rate sets it in its constructor.
  double TakeUpRate() const { return takeUpRate_.load(); }
  void UseTakeUpRate(double rate) { takeUpRate_.store(rate); }

  // The time (ms) a take-up of `axis` runs: the time to cross the backlash
  // set for it at the take-up rate, truncated to whole ms.
  uint32_t TakeUpTicks(int axis) const { return takeUpTicks_[axis].load(); }
  void NoteBacklash(int axis, double angle) {
    takeUpTicks_[axis].store(static_cast<uint32_t>(1000.0 * angle / takeUpRate_.load()));
  }

 private:
  // The mount's constructor starts them at the sidereal rate and 64 times
  // it.
  std::atomic<double> trackingRate_{0.0};
  std::atomic<bool> compensate_{true};
  std::atomic<double> takeUpRate_{0.0};
  std::atomic<uint32_t> takeUpTicks_[2]{0, 0};
};

}  // namespace sidera
