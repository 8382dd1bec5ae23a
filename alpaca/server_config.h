// The server's configuration file: the mount model and serial device, the
// observing site, the park position, whether the mount was left parked, and
// the device's unique ID. JSON, written whole to a temporary file and renamed
// into place so that a crash never leaves half a file.
#pragma once

#include <optional>
#include <string>

namespace sidera::alpaca {

// A site's elevation must suit both ASCOM (-300 to 10 000 m) and the library
// (SIDERA_LOWEST_ELEVATION to SIDERA_HIGHEST_ELEVATION).
inline constexpr double kLowestSiteElevation = -300.0;
inline constexpr double kHighestSiteElevation = 8848.0;

struct SiteSetting {
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
  double elevation = 0;  // metres
};

struct ServerConfig {
  int model = 6;       // the equatorial simulator until the user chooses
  std::string device;  // serial device path, hardware models only
  std::optional<SiteSetting> site;
  std::optional<double> parkAxis0;  // degrees; the model's home when unset
  std::optional<double> parkAxis1;
  bool parked = false;
  // Each SyncToCoordinates adds a point to the pointing model (else it is
  // a one-star alignment on the star given).
  bool syncAddsPoints = false;
  std::string uniqueId;  // made once, kept for good
};

// $XDG_CONFIG_HOME/sidera/alpaca.json, or under ~/.config ("" when neither
// that nor HOME is set).
std::string DefaultConfigPath();

// Reads `path`. A missing file gives the defaults; a file that is not this
// server's JSON gives false and the reason in `error`. Values out of range
// are dropped with a reason.
bool LoadConfig(const std::string& path, ServerConfig* config, std::string* error);
// Writes `config` to `path` (creating its folder). False and the reason when
// it cannot.
bool SaveConfig(const std::string& path, const ServerConfig& config, std::string* error);

// A random UUID (version 4) as text.
std::string NewUniqueId();

}  // namespace sidera::alpaca
