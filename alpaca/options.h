// The command line of sidera-alpaca.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sidera::alpaca {

struct Options {
  std::optional<int> model;           // overrides the stored model
  std::optional<std::string> device;  // overrides the stored device
  int port = 11111;                   // 0: any free port
  std::string listen = "127.0.0.1";
  std::string configPath;          // "" until defaulted
  int discoveryPort = 32227;       // 0: no discovery
  int clientTimeoutSeconds = 120;  // a silent client is forgotten after this
  bool help = false;
  bool version = false;
};

// A printf format: %d is the last model number (host::LastModel).
extern const char* const kUsage;

// False (with the reason) for an unknown option or an unusable value.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

}  // namespace sidera::alpaca
