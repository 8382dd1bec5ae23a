// The configuration file, read and written with nlohmann::json.
#include "alpaca/server_config.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "alpaca/json_text.h"
#include "host/location_site.h"
#include "host/model_facts.h"
#include "host/settings_file.h"

namespace sidera::alpaca {
namespace {

using nlohmann::json;

std::optional<double> NumberIn(const json& j, const char* key, double low, double high) {
  if (!j.contains(key) || !j[key].is_number()) return std::nullopt;
  const double v = j[key].get<double>();
  if (!std::isfinite(v) || v < low || v > high) return std::nullopt;
  return v;
}

}  // namespace

std::string DefaultConfigPath() { return host::UserConfigPath("sidera/alpaca.json"); }

bool LoadConfig(const std::string& path, ServerConfig* config, std::string* error) {
  std::ifstream file(path);
  if (!file) return true;  // nothing stored yet
  std::ostringstream text;
  text << file.rdbuf();
  const json j = json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded() || !j.is_object()) {
    *error = path + " is not a configuration this server wrote (not a JSON object)";
    return false;
  }
  std::string dropped;
  if (auto m = NumberIn(j, "model", 0, host::ModelCount() - 1); m && *m == std::floor(*m)) {
    config->model = static_cast<int>(*m);
  } else if (j.contains("model")) {
    dropped += " model";
  }
  if (j.contains("device") && j["device"].is_string()) config->device = j["device"];
  if (j.contains("site") && j["site"].is_object()) {
    const json& s = j["site"];
    auto lat = NumberIn(s, "latitude", -90, 90);
    auto lon = NumberIn(s, "longitude", -180, 180);
    auto elev = NumberIn(s, "elevation", host::kLowestElevation, host::kHighestElevation);
    if (lat && lon && elev) {
      config->site = SiteSetting{*lat, *lon, *elev};
    } else {
      dropped += " site";
    }
  }
  if (j.contains("park") && j["park"].is_object()) {
    config->parkAxis0 = NumberIn(j["park"], "axis0", -360, 360);
    config->parkAxis1 = NumberIn(j["park"], "axis1", -360, 360);
    if (!config->parkAxis0 || !config->parkAxis1) {
      config->parkAxis0.reset();
      config->parkAxis1.reset();
      dropped += " park";
    }
  }
  if (j.contains("parked") && j["parked"].is_boolean()) config->parked = j["parked"];
  if (j.contains("syncAddsPoints") && j["syncAddsPoints"].is_boolean()) {
    config->syncAddsPoints = j["syncAddsPoints"];
  }
  if (j.contains("uniqueId") && j["uniqueId"].is_string()) config->uniqueId = j["uniqueId"];
  if (!dropped.empty()) *error = path + ": unusable values left out:" + dropped;
  return true;
}

bool SaveConfig(const std::string& path, const ServerConfig& config, std::string* error) {
  json j = {{"model", config.model},
            {"device", config.device},
            {"parked", config.parked},
            {"syncAddsPoints", config.syncAddsPoints},
            {"uniqueId", config.uniqueId}};
  if (config.site) {
    j["site"] = {{"latitude", config.site->latitude},
                 {"longitude", config.site->longitude},
                 {"elevation", config.site->elevation}};
  }
  if (config.parkAxis0 && config.parkAxis1) {
    j["park"] = {{"axis0", *config.parkAxis0}, {"axis1", *config.parkAxis1}};
  }
  return host::WriteWholeFile(path, JsonText(j, 2) + "\n", error);
}

std::string NewUniqueId() {
  std::random_device random;
  std::uniform_int_distribution<int> byte(0, 255);
  unsigned char b[16];
  for (unsigned char& x : b) x = static_cast<unsigned char>(byte(random));
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char text[40];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

}  // namespace sidera::alpaca
