// The host kit's names the driver uses unqualified: angles, the sky frame's
// coordinate conversions and the motion rates all live in host/.
#pragma once

#include "host/motion_rates.h"
#include "host/sky_angles.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"

namespace sidera::indi {

using host::AxisRate;
using host::AzimuthDegrees;
using host::BeyondThePole;
using host::Degrees;
using host::Direction;
using host::EquatorialJacobian;
using host::GuideOffsets;
using host::GuidePlan;
using host::HourAngleOf;
using host::Jacobian;
using host::kArcsecPerRadian;
using host::kMaxAxisRate;
using host::kPi;
using host::kSiderealRate;
using host::kSlewPresets;
using host::kTwoPi;
using host::ManualMotion;
using host::MountGeometry;
using host::NumericJacobian;
using host::PierSide;
using host::PierSideOf;
using host::PlanGuide;
using host::Radians;
using host::RightAscensionHoursOf;
using host::Separation;
using host::SlewPresetLabel;
using host::TargetProblem;
using host::TrackingSkyRate;
using host::WrapPi;
using host::WrapTwoPi;

}  // namespace sidera::indi
