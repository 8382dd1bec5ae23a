// The setup pages a browser shows: /setup (the server) and the telescope's
// own page, a form for the model, the serial device, the site and the park
// position, stored in the server's configuration and applied at the next
// connect.
#pragma once

#include <string>

#include "alpaca/params.h"
#include "alpaca/telescope.h"

namespace sidera::alpaca {

struct SetupContext {
  std::string configPath;
  std::string locationSettingsPath;  // Location's stored site, the default site
};

// The server's page: what it is and a link to the telescope's page.
std::string ServerSetupPage(Telescope& telescope, const SetupContext& context);
// The telescope's form, with the values in force.
std::string TelescopeSetupPage(Telescope& telescope, const SetupContext& context);
// Checks a submitted form (its url-encoded body); stores it when every value
// is usable and the configuration can be written. Returns the page to show:
// the form again with what is wrong or why it was not stored, or what was
// stored (with a warning when the serial device cannot be opened now).
std::string SubmitTelescopeSetup(Telescope& telescope, const SetupContext& context,
                                 const std::string& body);

}  // namespace sidera::alpaca
