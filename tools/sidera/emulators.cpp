// The emulator of each protocol family, as a table: adding a family's
// emulator is adding its row.
#include "tools/sidera/emulators.h"

#include <filesystem>
#include <vector>

#include "host/model_facts.h"
#include "tools/sidera/format.h"

namespace sidera::tool {
namespace {

struct EmulatorRow {
  host::WireFamily family;
  const char* program;          // built beside the sidera program
  const char* timeScaleOption;  // the option that speeds its axes up
};

constexpr EmulatorRow kEmulators[] = {
    {host::kPacketBus, "packet-bus-emulator", "--time-scale"},
    {host::kByteCommand, "byte-command-emulator", "--time-scale"},
    {host::kHexCommand, "hex-command-emulator", "--time-scale"},
};

const EmulatorRow* RowOf(int model) {
  const host::ModelFacts* facts = host::FactsOf(model);
  if (facts == nullptr) return nullptr;
  for (const EmulatorRow& row : kEmulators) {
    if (row.family == facts->family) return &row;
  }
  return nullptr;
}

std::string ProgramDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

}  // namespace

bool HasEmulator(int model) { return RowOf(model) != nullptr; }

bool StartEmulator(int model, double timeScale, EmulatorProcess& process, std::string* error) {
  const EmulatorRow* row = RowOf(model);
  if (row == nullptr) {
    *error = "no controller emulator for model " + std::to_string(model);
    return false;
  }
  const std::string program = ProgramDirectory() + "/" + row->program;
  if (!process.Start(program, {row->timeScaleOption, FormatFixed(timeScale, 3)}, 5000)) {
    *error = "cannot start " + program + ": " + process.error();
    return false;
  }
  return true;
}

}  // namespace sidera::tool
