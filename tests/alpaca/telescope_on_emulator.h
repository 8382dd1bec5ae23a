// The Alpaca telescope on model 1 over its packet-bus emulator, whose axes
// run ten times faster than real time (a park takes moments), with its
// settings in a file of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "alpaca/telescope.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace sidera::alpaca {

class TelescopeOnEmulator : public ::testing::Test {
 protected:
  // `name` names the settings file; `configure` adds to the settings.
  void StartTelescope(const std::string& name,
                      const std::function<void(ServerConfig&)>& configure = {}) {
    emulator::PacketBusOptions o;
    o.timeScale = 10;
    emu_ = std::make_unique<emulator::PacketBusEmulator>(o);
    ASSERT_TRUE(emu_->Start());
    ServerConfig config;
    config.model = 1;
    config.device = emu_->DevicePath();
    config.site = SiteSetting{34.2, -118.06, 1700};
    if (configure) configure(config);
    path_ = std::string(::testing::TempDir()) + name + "_" + std::to_string(getpid()) + ".json";
    telescope_ = std::make_unique<Telescope>(config, path_, 1.0);
  }
  void TearDown() override {
    telescope_.reset();
    emu_.reset();
    std::remove(path_.c_str());
  }

  std::unique_ptr<emulator::PacketBusEmulator> emu_;
  std::string path_;
  std::unique_ptr<Telescope> telescope_;
};

}  // namespace sidera::alpaca
