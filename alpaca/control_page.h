// The browser hand controller's page: one HTML document with its style and
// script inside, served by the program itself (no framework, no network at
// run time), sized for a phone held in one hand.
#pragma once

#include <string>

namespace sidera::alpaca {

const std::string& ControlPage();

}  // namespace sidera::alpaca
