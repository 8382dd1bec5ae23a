// What the driver tells the client about a goto or park that the library
// ended other than by arriving: the reason, from the recorded outcome.
#pragma once

#include <string>

#include "host/goto_watch.h"

namespace sidera::indi {

// Why the ended goto of `watch` did not arrive ("it was stopped 3.20° from
// the target", "the mount: No response from axis 1 (code 101)", ...).
std::string WhyGotoEnded(const host::GotoWatch& watch);

}  // namespace sidera::indi
