// The ITelescopeV4 members and the members common to every Alpaca device,
// each mapped to the telescope: its parameters read and checked, the Alpaca
// rules applied (not connected, parked, tracking, ranges), the value shaped
// as the standard gives it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "alpaca/params.h"
#include "alpaca/telescope.h"

namespace sidera::alpaca {

// Runs member `member` ("rightascension") for `method` ("GET" or "PUT").
// Returns the value of a property read (nothing for a method or a write).
// Throws BadRequest for an unknown member, a method the member does not
// take, or a malformed parameter; DeviceError for what the device refuses.
std::optional<nlohmann::json> CallMember(Telescope& telescope, const std::string& method,
                                         const std::string& member, const Params& params,
                                         uint32_t clientId);

}  // namespace sidera::alpaca
