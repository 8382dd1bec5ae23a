// Result codes, state flags and the exchange records as the C++ code uses
// them. The records are the public C structs of sidera.h.
#pragma once

#include <cstdint>

#include "sidera/include/sidera.h"

namespace sidera {

using MountResult = int32_t;
using MountType = int32_t;

inline constexpr MountResult kOk = 0;
inline constexpr MountResult kInvalidMountId = 1;
inline constexpr MountResult kAlreadyConnected = 2;
inline constexpr MountResult kNoMount = 3;
inline constexpr MountResult kInvalidParameter = 4;
inline constexpr MountResult kPortBusy = 5;
inline constexpr MountResult kNoResponseAxis0 = 100;
inline constexpr MountResult kNoResponseAxis1 = 101;
inline constexpr MountResult kAxisBusy = 102;
inline constexpr MountResult kTargetTooHigh = 103;
inline constexpr MountResult kTargetTooLow = 104;
inline constexpr MountResult kUserInterrupt = 105;
inline constexpr MountResult kAlignFailed = 200;
inline constexpr MountResult kNotImplemented = 300;
inline constexpr MountResult kBadAlignmentData = 400;

// The no-response code of an axis: 100 for axis 0, 101 for axis 1.
constexpr MountResult NoResponse(int axis) {
  return axis == 0 ? kNoResponseAxis0 : kNoResponseAxis1;
}

// Axis state flags (AxisRecord::State).
inline constexpr uint32_t AXIS_STOPPED = 1;
inline constexpr uint32_t AXIS_RATE_MOTION = 2;
inline constexpr uint32_t AXIS_GOTO = 4;
inline constexpr uint32_t AXIS_POSITIVE = 8;
inline constexpr uint32_t AXIS_HIGH_SPEED = 16;  // packet bus: a fast goto
inline constexpr uint32_t AXIS_FAMILY_32 = 32;

// mountState values.
inline constexpr uint32_t MOUNT_STOPPED = 1;
inline constexpr uint32_t MOUNT_TRACKING = 2;
inline constexpr uint32_t MOUNT_GOTO = 4;
inline constexpr uint32_t MOUNT_SLEWING = 8;

static_assert(sizeof(SkyPoint) == 16 && sizeof(HorizontalPoint) == 16 && sizeof(AxisPair) == 16);
static_assert(sizeof(AlignStar) == 32);
static_assert(sizeof(AlignmentRecord) == 200);
static_assert(sizeof(MotionOutcome) == 40);

}  // namespace sidera
