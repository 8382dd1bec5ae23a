// The observing site: the choice between the command line and the site the
// Location program stored.
#include "tools/sidera/site.h"

namespace sidera::tool {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

std::string Describe(const host::StoredSite& s) {
  std::string what;
  if (!s.latitude) what += "\"siteLat\"";
  if (!s.longitude) what += std::string(what.empty() ? "" : " and ") + "\"siteLon\"";
  return what;
}

}  // namespace

bool ResolveSite(const SiteArguments& given, const std::string& settingsPath, Site* site,
                 std::string* error) {
  if (given.latitude.has_value() != given.longitude.has_value()) {
    *error = "give --lat and --lon together";
    return false;
  }
  if (given.elevation &&
      (*given.elevation < host::kLowestElevation || *given.elevation > host::kHighestElevation)) {
    *error = "the elevation must lie within -1000..8848 m";
    return false;
  }
  if (given.latitude) {
    site->observer = {*given.latitude * kDegree, *given.longitude * kDegree,
                      given.elevation.value_or(0.0)};
    site->source = "the command line";
    return true;
  }
  const std::string how =
      "give --lat DEG --lon DEG [--elev M], or set the site with the Location program";
  const host::StoredSite stored = host::ReadStoredSite(settingsPath);
  if (!stored.fileFound) {
    *error = "no observing site: none was given and Location has stored none" +
             (settingsPath.empty() ? std::string() : " (no " + settingsPath + ")") + "; " + how;
    return false;
  }
  if (!stored.problem.empty()) {
    *error = "the site Location stored in " + settingsPath + " is unusable: " + stored.problem +
             "; " + how;
    return false;
  }
  if (!stored.latitude || !stored.longitude) {
    *error = "no observing site: " + settingsPath + " has no " + Describe(stored) + "; " + how;
    return false;
  }
  site->observer = {*stored.latitude * kDegree, *stored.longitude * kDegree,
                    given.elevation.value_or(stored.elevation.value_or(0.0))};
  site->source = "Location's settings (" + settingsPath + ")";
  if (given.elevation) site->source += " (elevation from the command line)";
  return true;
}

}  // namespace sidera::tool
