// The HTML setup pages and the checks of the submitted form.
#include "alpaca/setup_page.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "alpaca/alpaca_errors.h"
#include "host/location_site.h"
#include "host/model_facts.h"
#include "host/mount_connect.h"
#include "host/serial_device.h"
#include "host/utf8.h"

namespace sidera::alpaca {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

std::string Fixed(double v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string ModelName(int model) {
  SideraChar16 name[96] = {};
  if (GetMountName(model, name) != SIDERA_OK) return "model " + std::to_string(model);
  return host::Utf8Of(name);
}

const char* kStyle =
    "<style>body{font-family:sans-serif;max-width:44em;margin:2em auto;padding:0 1em}"
    "label{display:block;margin:.8em 0 .2em;font-weight:bold}input,select{font-size:1em;"
    "padding:.2em;min-width:20em}fieldset{margin:1em 0}.error{color:#a00000}"
    ".note{color:#555;font-size:.9em}.saved{color:#006000}</style>";

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + Escape(title) +
         "</title>" + kStyle + "</head><body><h1>" + Escape(title) + "</h1>" + body +
         "</body></html>";
}

// The values the form shows.
struct FormValues {
  int model = 6;
  std::string device;
  std::string latitude, longitude, elevation;
  std::string park0, park1;
  bool syncAddsPoints = false;
  host::SyncModelView points;  // what the syncs have added so far
};

FormValues ValuesOf(const ServerConfig& config, const SetupContext& context) {
  FormValues v;
  v.model = config.model;
  v.device = config.device;
  if (config.site) {
    v.latitude = Number(config.site->latitude);
    v.longitude = Number(config.site->longitude);
    v.elevation = Number(config.site->elevation);
  } else {
    const host::StoredSite stored = host::ReadStoredSite(context.locationSettingsPath);
    if (stored.latitude && stored.longitude) {
      v.latitude = Number(*stored.latitude);
      v.longitude = Number(*stored.longitude);
      v.elevation = Number(stored.elevation.value_or(0.0));
    }
  }
  if (config.parkAxis0 && config.parkAxis1) {
    v.park0 = Number(*config.parkAxis0);
    v.park1 = Number(*config.parkAxis1);
  }
  v.syncAddsPoints = config.syncAddsPoints;
  return v;
}

FormValues ValuesOf(Telescope& telescope, const SetupContext& context) {
  FormValues v = ValuesOf(telescope.Config(), context);
  v.points = telescope.SyncPoints();
  return v;
}

// The points the syncs added: each one's place and residual, their RMS,
// and a form of its own that drops them.
std::string PointsSection(const host::SyncModelView& view) {
  std::string body = "<h2>Pointing model</h2>";
  if (view.points.empty()) {
    return body + "<p class=\"note\" id=\"points\">No sync points.</p>";
  }
  body += "<p id=\"rms\">" + std::to_string(view.points.size()) +
          " sync points; RMS of the residuals " + Fixed(view.rmsArcsec, 1) +
          "&Prime;.</p><table id=\"points\"><tr><th>#</th><th>RA (h)</th><th>Dec (&deg;)</th>"
          "<th>Residual (&Prime;)</th><th></th></tr>";
  for (size_t i = 0; i < view.points.size(); ++i) {
    const host::SyncPointView& p = view.points[i];
    body += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + Fixed(p.raHours, 4) + "</td><td>" +
            Fixed(p.decDegrees, 3) + "</td><td>" + Fixed(p.residualArcsec, 1) + "</td><td>" +
            (p.used ? "" : "left out (too far off)") + "</td></tr>";
  }
  return body +
         "</table><form method=\"post\" action=\"/setup/v1/telescope/0/setup\">"
         "<input type=\"hidden\" name=\"clearPoints\" value=\"1\">"
         "<p><button type=\"submit\" id=\"clearPoints\">Clear the sync points</button></p></form>";
}

std::string Form(const FormValues& v, const std::vector<std::string>& errors,
                 const std::string& notice, const std::string& warning = "") {
  std::string body;
  if (!notice.empty()) body += "<p class=\"saved\" id=\"notice\">" + Escape(notice) + "</p>";
  if (!warning.empty()) body += "<p class=\"error\" id=\"warning\">" + Escape(warning) + "</p>";
  if (!errors.empty()) {
    body += "<ul class=\"error\" id=\"errors\">";
    for (const std::string& e : errors) body += "<li>" + Escape(e) + "</li>";
    body += "</ul>";
  }
  body += "<form method=\"post\" action=\"/setup/v1/telescope/0/setup\">";
  body +=
      "<fieldset><legend>Mount</legend><label for=\"model\">Model</label>"
      "<select id=\"model\" name=\"model\">";
  for (int m = 0; m < host::ModelCount(); ++m) {
    const host::ModelFacts& f = *host::FactsOf(m);
    body += "<option value=\"" + std::to_string(m) + "\"" + (m == v.model ? " selected" : "") +
            ">" + std::to_string(m) + ": " + Escape(ModelName(m)) +
            (host::IsSimulator(f) ? " (simulator, no device)" : "") + "</option>";
  }
  body += "</select>";
  body +=
      "<label for=\"device\">Serial device</label>"
      "<input id=\"device\" name=\"device\" list=\"devices\" value=\"" +
      Escape(v.device) + "\" placeholder=\"/dev/ttyUSB0\"><datalist id=\"devices\">";
  std::string table;
  for (const std::string& path : host::SerialDevicesPresent()) {
    const std::string problem = host::DiagnoseSerialDevice(path, "choose another");
    body += "<option value=\"" + Escape(path) + "\">";
    table += "<li><code>" + Escape(path) +
             "</code>: " + (problem.empty() ? std::string("can be opened") : Escape(problem)) +
             "</li>";
  }
  body += "</datalist><p class=\"note\">Hardware models only. Serial devices on this computer:</p>";
  body +=
      table.empty() ? "<p class=\"note\">none found</p>" : "<ul class=\"note\">" + table + "</ul>";
  body += "</fieldset>";
  auto field = [&](const char* id, const char* label, const std::string& value, const char* note) {
    body += std::string("<label for=\"") + id + "\">" + label + "</label><input id=\"" + id +
            "\" name=\"" + id + "\" inputmode=\"decimal\" value=\"" + Escape(value) + "\">";
    if (*note) body += std::string("<p class=\"note\">") + note + "</p>";
  };
  body += "<fieldset><legend>Site</legend>";
  field("latitude", "Latitude (degrees, north positive)", v.latitude, "");
  field("longitude", "Longitude (degrees, east positive)", v.longitude, "");
  field("elevation", "Elevation (metres)", v.elevation,
        "Defaults to the site the Location program stored.");
  body += "</fieldset><fieldset><legend>Park position</legend>";
  field("park0", "Axis 0 (right ascension or azimuth axis, degrees)", v.park0, "");
  field("park1", "Axis 1 (declination or altitude axis, degrees)", v.park1,
        "Empty: the home position (the pole for an equatorial mount, north on the horizon "
        "for an alt-azimuth one). SetPark from a client stores the position it stands at.");
  body += std::string(
              "</fieldset><fieldset><legend>Syncs</legend><label><input type=\"checkbox\" "
              "id=\"syncAddsPoints\" name=\"syncAddsPoints\" value=\"1\"") +
          (v.syncAddsPoints ? " checked" : "") +
          " style=\"min-width:0\"> Each sync adds a point to the pointing model</label>"
          "<p class=\"note\">Off: each sync is a one-star alignment on the star given. On: the "
          "syncs build a model of up to 100 points (one within 0.5&deg; of another replaces it) "
          "with the mount's mechanical errors; the position reads the synced coordinates after "
          "each. Applies from the next sync.</p>";
  body +=
      "</fieldset><p><button type=\"submit\" id=\"save\">Save</button></p></form>"
      "<p class=\"note\">Saved settings apply at the next connect.</p>";
  body += PointsSection(v.points);
  return Page("Sidera telescope setup", body);
}

}  // namespace

std::string ServerSetupPage(Telescope& telescope, const SetupContext& context) {
  return Page("Sidera Alpaca server",
              "<p>ASCOM Alpaca server for one Sidera telescope mount, device 0: <b>" +
                  Escape(telescope.ModelName()) + "</b>.</p><p>Unique ID <code>" +
                  Escape(telescope.UniqueId()) + "</code>; configuration stored in <code>" +
                  Escape(context.configPath) +
                  "</code>.</p><p><a href=\"/setup/v1/telescope/0/setup\">Telescope setup</a></p>");
}

std::string TelescopeSetupPage(Telescope& telescope, const SetupContext& context) {
  return Form(ValuesOf(telescope, context), {}, "");
}

std::string SubmitTelescopeSetup(Telescope& telescope, const SetupContext& context,
                                 const std::string& body) {
  Params form;
  try {
    form = Params::FromBody(body);
  } catch (const BadRequest&) {
    return Form(ValuesOf(telescope, context),
                {"The form held text that is not valid UTF-8 (a device name?): nothing was "
                 "saved."},
                "");
  }
  if (form.Has("clearPoints")) {
    try {
      telescope.ClearSyncPoints();
    } catch (const DeviceError& e) {
      return Form(ValuesOf(telescope, context), {std::string("Not cleared: ") + e.what()}, "");
    }
    return Form(ValuesOf(telescope, context), {}, "The sync points were cleared.");
  }
  FormValues v;
  v.points = telescope.SyncPoints();
  auto text = [&](const char* name) { return form.Has(name) ? form.Text(name) : std::string(); };
  v.device = text("device");
  v.latitude = text("latitude");
  v.longitude = text("longitude");
  v.elevation = text("elevation");
  v.park0 = text("park0");
  v.park1 = text("park1");
  v.syncAddsPoints = form.Has("syncAddsPoints");
  std::vector<std::string> errors;
  ServerConfig config = telescope.Config();
  try {
    v.model = form.Integer("model");
  } catch (const BadRequest&) {
    v.model = -1;
  }
  if (host::FactsOf(v.model) == nullptr) {
    errors.push_back("Choose one of the models 0 to " + std::to_string(host::LastModel()) + ".");
    v.model = config.model;
  }
  // A number within [low, high], or an error naming the field.
  auto number = [&](const std::string& value, double low, double high,
                    const char* what) -> std::optional<double> {
    char* end = nullptr;
    const double x = std::strtod(value.c_str(), &end);
    if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(x) || x < low ||
        x > high) {
      errors.push_back(std::string(what) + " must be a number from " + Number(low) + " to " +
                       Number(high) + (value.empty() ? "." : " (\"" + value + "\" is not)."));
      return std::nullopt;
    }
    return x;
  };
  const bool simulator = host::IsSimulator(*host::FactsOf(v.model));
  if (!simulator && v.device.empty()) {
    errors.push_back("A hardware model needs its serial device.");
  }
  std::optional<SiteSetting> site;
  if (!v.latitude.empty() || !v.longitude.empty() || !v.elevation.empty()) {
    const auto lat = number(v.latitude, -90, 90, "The latitude");
    const auto lon = number(v.longitude, -180, 180, "The longitude");
    const auto elev = number(v.elevation.empty() ? "0" : v.elevation, kLowestSiteElevation,
                             kHighestSiteElevation, "The elevation");
    if (lat && lon && elev) site = SiteSetting{*lat, *lon, *elev};
  }
  std::optional<double> park0, park1;
  if (!v.park0.empty() || !v.park1.empty()) {
    park0 = number(v.park0, -360, 360, "The park angle of axis 0");
    park1 = number(v.park1, -360, 360, "The park angle of axis 1");
  }
  if (!errors.empty()) return Form(v, errors, "");
  config.model = v.model;
  config.device = simulator ? std::string() : v.device;
  config.site = site;
  config.parkAxis0 = park0;
  config.parkAxis1 = park1;
  config.syncAddsPoints = v.syncAddsPoints;
  try {
    telescope.Configure(config);
  } catch (const DeviceError& e) {
    return Form(v, {std::string("Not saved: ") + e.what()}, "");
  }
  std::string warning;
  if (const std::string problem =
          host::DeviceUnusable({config.model, config.device, "choose another", ""});
      !problem.empty()) {
    warning = "The device cannot be opened now: " + problem;
  }
  return Form(ValuesOf(telescope, context), {},
              "Saved in " + context.configPath + ". The settings apply at the next connect.",
              warning);
}

}  // namespace sidera::alpaca
