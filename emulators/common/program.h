// What the emulator programs share: reading option values, and serving one
// emulator from the command line until the user or the parent process stops
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace sidera::emulator {

// The whole text a decimal integer within [low, high]; `out` is untouched
// otherwise.
bool ParseLong(const char* text, long low, long high, long& out);
template <typename T>
bool ParseInteger(const char* text, long low, long high, T& out) {
  long value = 0;
  if (!ParseLong(text, low, high, value)) return false;
  out = static_cast<T>(value);
  return true;
}
// The whole text a finite number not below `low`; `out` is untouched
// otherwise.
bool ParseDouble(const char* text, double& out,
                 double low = -std::numeric_limits<double>::infinity());

// Prints "request <text>" as one line of standard output and flushes it:
// what --log-requests shows, as each request arrives.
void PrintRequestLine(const std::string& text);
// The same with the bytes in hex ("request 3B 03 ..."), for a binary
// protocol.
void PrintRequestBytes(const std::vector<uint8_t>& bytes);

// Starts the emulator, prints its device path as the first line of standard
// output, then serves until SIGINT or SIGTERM, or until standard input
// reaches end of file when it is a pipe (the parent process went away), and
// stops it. Returns the exit status: 0, or 1 when it could not start.
// Messages start with `name`.
int RunEmulatorProgram(const char* name, const std::function<bool()>& start,
                       const std::function<std::string()>& devicePath,
                       const std::function<void()>& stop);

template <typename Emulator>
int RunEmulatorProgram(const char* name, Emulator& emulator) {
  return RunEmulatorProgram(
      name, [&] { return emulator.Start(); }, [&] { return emulator.DevicePath(); },
      [&] { emulator.Stop(); });
}

}  // namespace sidera::emulator
