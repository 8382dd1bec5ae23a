// Guide pulses: their starts on the calls lane, their ends on the stop lane.
#include "host/guide_pulses.h"

#include "host/sky_coordinates.h"
#include "sidera.h"

namespace sidera::host {

GuidePlan GuidePulses::PlanLocked() const {
  const GuideOffsets offsets{lanes_[kEastWest].offset, lanes_[kNorthSouth].offset};
  if (offsets.west == 0 && offsets.north == 0) return GuidePlan{};  // every driven axis stops
  return PlanGuide(geometry_, jacobian_, offsets, trackingRate_);
}

int GuidePulses::Start(int lane, double offset, Clock::duration duration, MountGeometry geometry,
                       double trackingRate, uint64_t tag) {
  uint64_t forgotten = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    forgotten = forgotten_;
    Lane& l = lanes_[lane];
    l.pulse = ++pulses_;
    l.tag = tag;
    l.offset = duration > Clock::duration::zero() ? offset : 0.0;
    // The end is posted before the reads below, so that a failed read never
    // leaves a pulse without its end.
    if (l.offset != 0) {
      stops_.PostAt(Clock::now() + duration, [this, lane, pulse = l.pulse] { End(lane, pulse); });
    }
  }
  Jacobian jacobian;
  int code = SIDERA_OK;
  if (geometry.equatorial) {
    double axis1 = 0;
    code = GetAxisPosition(1, &axis1);
    geometry.beyondThePole = BeyondThePole(axis1);
    jacobian = EquatorialJacobian(geometry);
  } else {
    SkyPoint sky{};
    code = GetSkyPosition(&sky);
    jacobian = NumericJacobian(
        [](SkyPoint p) {
          AxisPair a{};
          (void)SkyToAxes(p, &a);  // 0 with a mount
          return a;
        },
        sky);
  }
  std::lock_guard<std::mutex> driving(driveMutex_);
  GuidePlan plan;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (forgotten != forgotten_) return SIDERA_OK;  // a goto or a stop has the axes now
    if (code != SIDERA_OK) {
      // Nothing was driven for this pulse: its end need not run.
      lanes_[lane] = {};
      return code;
    }
    geometry_ = geometry;
    jacobian_ = jacobian;
    trackingRate_ = trackingRate;
    plan = PlanLocked();
  }
  return Drive(plan, true);
}

void GuidePulses::EndNow(int lane) {
  uint64_t pulse = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lanes_[lane].offset == 0) return;
    pulse = lanes_[lane].pulse;
  }
  stops_.Post([this, lane, pulse] { End(lane, pulse); });
}

void GuidePulses::End(int lane, uint64_t pulse) {
  int code = SIDERA_OK;
  uint64_t tag = 0;
  {
    std::lock_guard<std::mutex> driving(driveMutex_);
    GuidePlan plan;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (lanes_[lane].pulse != pulse || lanes_[lane].offset == 0) return;  // replaced or forgotten
      lanes_[lane].offset = 0;
      tag = lanes_[lane].tag;
      plan = PlanLocked();
    }
    code = Drive(plan, false);
  }
  if (ended_) ended_(lane, tag, code);
}

void GuidePulses::Forget() {
  std::lock_guard<std::mutex> lock(mutex_);
  lanes_ = {};
  plan_ = {};
  ++forgotten_;
}

bool GuidePulses::Running() const { return Running(kEastWest) || Running(kNorthSouth); }

bool GuidePulses::Running(int lane) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lanes_[lane].offset != 0;
}

int GuidePulses::Drive(const GuidePlan& plan, bool resend) {
  GuidePlan previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = plan_;
    plan_ = plan;
  }
  // Every axis is tried, so that one refused command never keeps the other
  // axis at a guide rate.
  int first = SIDERA_OK;
  for (int axis = 0; axis < 2; ++axis) {
    int code = SIDERA_OK;
    const bool same = previous.drive[axis] && previous.rate[axis] == plan.rate[axis];
    if (plan.drive[axis]) {
      if (resend || !same) code = MoveAxis(axis, plan.rate[axis]);
    } else if (previous.drive[axis]) {
      code = StopAxis(axis);  // back to tracking, or stopped when tracking is off
    }
    if (first == SIDERA_OK) first = code;
  }
  return first;
}

}  // namespace sidera::host
