// location: sets the observing site of the hand-held telescope controller.
//
//   location [--gps-port DEVICE|N] [--screenshot FILE] [anything else]
//   location --gps-report DEVICE|N [--seconds N]
//   location --help | --version
//
// Any other argument selects the hand-held's full-screen 320 x 240 layout
// (and its night colours when "NightMode" is set). --gps-port names the GPS
// receiver's serial device, or serial port N through SIDERA_SERIAL_PATTERN
// (default: port 2, or the "GpsPort" setting). --screenshot writes the
// dialog to FILE as a PNG and exits; it needs no display. --gps-report
// reads the receiver as the GPS page does and prints a JSON report; it
// starts no GUI at all.
#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "location/app/dbus_broadcaster.h"
#include "location/app/main_dialog.h"
#include "location/app/qt_settings_store.h"
#include "location/app/resources.h"
#include "location/app/system_clock.h"
#include "location/core/gps/gps_port.h"
#include "location/core/gps/gps_report.h"
#include "sidera_version.h"

namespace {

struct Options {
  bool embedded = false;
  const char* screenshot = nullptr;
  std::string gpsPort;
};

void PrintHelp() {
  std::puts(
      "Usage: location [--gps-port DEVICE|N] [--screenshot FILE] [embedded]\n"
      "Sets the observing site that the Sidera programs use: longitude, latitude\n"
      "and elevation, typed in, picked from the world city list or read from a GPS\n"
      "receiver (which also sets the clock). The site is stored in\n"
      "$XDG_CONFIG_HOME/ZENARA.en/ZENARAWindow.conf (~/.config by default).\n"
      "\n"
      "  --gps-port DEVICE|N  the GPS receiver's serial device, or serial port N\n"
      "                       through SIDERA_SERIAL_PATTERN (default: the \"GpsPort\"\n"
      "                       setting, else port 2)\n"
      "  --screenshot FILE    write the dialog to FILE as a PNG and exit; needs no\n"
      "                       display\n"
      "  embedded             any other argument: the hand-held's full-screen\n"
      "                       320 x 240 layout\n"
      "  --help               this text\n"
      "  --version            the program's version\n");
  std::fputs(location::gps::kReportUsage, stdout);
}

// --help and --version, answered before any Qt application exists so that
// they need no display. Nothing when neither is asked for.
std::optional<int> AnswerHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if ((argument == "--screenshot" || argument == "--gps-port") && i + 1 < argc) {
      ++i;  // a value, whatever it reads
    } else if (argument == "--help") {
      PrintHelp();
      return 0;
    } else if (argument == "--version") {
      std::printf("location %s\n", SIDERA_VERSION);
      return 0;
    }
  }
  return std::nullopt;
}

bool WantsNoDisplay(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0) return true;
  }
  return false;
}

// The report mode: plain C++, before (and without) any Qt application.
int GpsReport(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const auto request = location::gps::ParseReportArguments(arguments, error);
  if (!request) {
    std::fprintf(stderr, "location: %s\n%s", error.c_str(), location::gps::kReportUsage);
    return 2;
  }
  return location::gps::RunGpsReport(*request, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (location::gps::WantsGpsReport(argc, argv)) return GpsReport(argc, argv);
  if (const auto status = AnswerHelpOrVersion(argc, argv)) return *status;
  // A screenshot needs no display: without one, draw off screen.
  if (WantsNoDisplay(argc, argv) && std::getenv("QT_QPA_PLATFORM") == nullptr &&
      std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  QApplication app(argc, argv);  // takes Qt's own arguments out of argv

  Options options;
  const QStringList arguments = QApplication::arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if ((argument == QLatin1String("--screenshot") || argument == QLatin1String("--gps-port")) &&
        i + 1 < arguments.size()) {
      if (argument == QLatin1String("--gps-port")) {
        options.gpsPort = arguments[++i].toStdString();
      } else {
        options.screenshot = argv[++i];
      }
    } else {
      options.embedded = true;
    }
  }

  location::Resources resources;
  location::QtSettingsStore settings;
  if (options.gpsPort.empty()) options.gpsPort = settings.Read("GpsPort").value_or("");
  location::DBusBroadcaster broadcaster;
  location::SystemClock clock;
  location::MainDialog dialog({resources, settings, broadcaster, clock,
                               location::gps::GpsDevicePath(options.gpsPort),
                               location::CurrentUiLanguage(), options.embedded});
  if (options.screenshot != nullptr) {
    dialog.show();
    const bool saved = dialog.grab().save(QString::fromLocal8Bit(options.screenshot), "PNG");
    if (!saved) std::fprintf(stderr, "location: cannot write %s\n", options.screenshot);
    return saved ? 0 : 1;
  }
  (void)dialog.exec();  // back on the main page ends the program
  return 0;
}
