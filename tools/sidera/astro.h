// The host kit's sky names as the host program uses them: the angle
// arithmetic, the sky frame (ERFA) and the coordinate conversions, all from
// host/.
#pragma once

#include "host/sky_angles.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"

namespace sidera::tool {

using host::Body;
using host::CatalogueOfLocal;
using host::CataloguePlace;
using host::Degrees;
using host::EquatorialOfHorizontal;
using host::Horizontal;
using host::HorizontalOf;
using host::HourAngleDec;
using host::IcrsDirection;
using host::kPi;
using host::kSiderealRate;
using host::kTwoPi;
using host::LocalApparentSiderealTime;
using host::LocalOf;
using host::LocalOfAll;
using host::LocalPlace;
using host::Observer;
using host::PlaceOfBody;
using host::Radians;
using host::Separation;
using host::UtcJulianDate;
using host::WrapPi;
using host::WrapTwoPi;
inline constexpr double kRadToArcsec = host::kArcsecPerRadian;

}  // namespace sidera::tool
