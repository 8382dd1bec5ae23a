// `location --gps-report DEVICE [--seconds N]`: reads the receiver with the
// GPS page's probe and reader, without a window, and prints what it found
// as one JSON object. The system clock is not set: this is a check.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "location/core/gps/gps_reader.h"

namespace location::gps {

inline constexpr const char* kReportUsage =
    "Usage: location --gps-report DEVICE [--seconds N] [--dates-from YYYY-MM-DD]\n"
    "Reads the GPS receiver on DEVICE (a device path, or a serial port number)\n"
    "as the GPS page does, for at most N seconds (60; 1..3600) or until it has\n"
    "a usable fix, and prints one JSON object. Exit status: 0 with a usable fix,\n"
    "1 without, 2 for bad usage. Receiver dates more than ten years before\n"
    "--dates-from (default: the day the program was built) are taken as behind\n"
    "by GPS week-number rollovers and moved on by 1024 weeks at a time; later\n"
    "dates are reported as they are. Give an earlier date to replay an older\n"
    "recording.\n";

struct ReportRequest {
  std::string device;  // as given: a path or a port number
  int seconds = 60;
  GpsTime datesFrom = BuildDate();  // --dates-from
};

// True when the command line asks for a report.
bool WantsGpsReport(int argc, char** argv);
// The arguments after the program name; nothing (and `error` says why) for
// bad usage.
std::optional<ReportRequest> ParseReportArguments(const std::vector<std::string>& arguments,
                                                  std::string& error);

// {"device", "receiver" ("nmea", "bus"), "rate", "talker", "satellites",
// "usable_fix", "latitude", "longitude", "elevation", "utc"
// ("YYYY-MM-DDTHH:MM:SSZ")}, null for what is not known, on one line.
std::string FormatReport(const std::string& device, const GpsState& state);

// Reads, prints the report on `out` (and why there is no fix on `err`) and
// returns the exit status.
int RunGpsReport(const ReportRequest& request, std::FILE* out, std::FILE* err);

}  // namespace location::gps
