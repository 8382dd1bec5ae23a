// Loading the library with dlopen and binding its operations by ordinal.

#include "tools/sidera/library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "host/utf8.h"

namespace sidera::tool {
namespace {

using OrdinalLookup = void* (*)(int);

// Fills `slot` with the operation of `ordinal`; false when the library has
// none there.
template <typename F>
bool Bind(OrdinalLookup lookup, int ordinal, F& slot) {
  void* p = lookup(ordinal);
  if (p == nullptr) return false;
  slot = reinterpret_cast<F>(p);
  return true;
}

}  // namespace

std::string DefaultLibraryPath() {
  if (const char* env = std::getenv("SIDERA_LIBRARY"); env != nullptr && *env != 0) return env;
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "libsidera.so";
  return (exe.parent_path() / ".." / "lib" / "libsidera.so").lexically_normal().string();
}

bool Library::Load(const std::string& path) {
  path_ = path;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error_ = std::string("cannot load ") + path + ": " + (why ? why : "unknown error");
    return false;
  }
  auto lookup = reinterpret_cast<OrdinalLookup>(dlsym(handle, "GetOperationByOrdinal"));
  if (lookup == nullptr) {
    error_ = path + " has no GetOperationByOrdinal";
    return false;
  }
  SideraApi& a = api_;
  int firstMissing = 0;
  auto bind = [&](int ordinal, auto& slot) {
    if (!Bind(lookup, ordinal, slot) && firstMissing == 0) firstMissing = ordinal;
  };
  bind(1, a.GetErrorMessage);
  bind(10, a.GetMountName);
  bind(11, a.CreateMount);
  bind(12, a.DestroyMount);
  bind(13, a.SetSite);
  bind(14, a.IsEquatorialMount);
  bind(15, a.SetComPort);
  bind(16, a.RegisterBluetoothPort);
  bind(20, a.CheckStars1);
  bind(21, a.CheckStars2);
  bind(22, a.CheckStars3);
  bind(23, a.SetMountErrors);
  bind(24, a.AlignOneStar);
  bind(25, a.AlignTwoStars);
  bind(26, a.AlignThreeStars);
  bind(27, a.GetAlignmentQuality);
  bind(28, a.GetMountErrors);
  bind(29, a.SaveAlignment);
  bind(30, a.LoadAlignment);
  bind(40, a.MoveAxis);
  bind(41, a.GotoAxis);
  bind(42, a.StopAxis);
  bind(43, a.SetAltitudeLimits);
  bind(44, a.SyncAxis);
  bind(45, a.SetBacklash);
  bind(46, a.SetGuideRate);
  bind(47, a.GotoSky);
  bind(48, a.SetTracking);
  bind(49, a.SetTrackingRateMode);
  bind(50, a.ExtensionCommand);
  bind(51, a.GotoAxes);
  bind(52, a.GotoHorizontal);
  bind(53, a.SkyToAxes);
  bind(54, a.GotoSkyWithAxisOffset);
  bind(55, a.SetGotoParameters);
  bind(56, a.SyncHomePosition);
  bind(70, a.GetAxisPosition);
  bind(71, a.GetAxisPositions);
  bind(72, a.GetSkyPosition);
  bind(73, a.GetHorizontalPosition);
  bind(74, a.GetAxisState);
  bind(75, a.GetMountState);
  bind(90, a.ComputeSiderealTime);
  bind(91, a.AngularSeparation);
  if (firstMissing != 0) {
    error_ = path + " has no operation at ordinal " + std::to_string(firstMissing);
    return false;
  }
  a.GetMotionOutcome =
      reinterpret_cast<decltype(a.GetMotionOutcome)>(dlsym(handle, "GetMotionOutcome"));
  if (a.GetMotionOutcome == nullptr) {
    error_ = path + " has no GetMotionOutcome";
    return false;
  }
  return true;
}

std::string Library::ErrorText(int code) const {
  // The longest message is 68 units plus the terminator; leave headroom.
  char16_t buffer[128] = {};
  api_.GetErrorMessage(code, buffer);
  return host::Utf8Of(buffer);
}

std::string Library::MountName(int mountType) const {
  char16_t buffer[128] = {};
  if (api_.GetMountName(mountType, buffer) != 0) return "";
  return host::Utf8Of(buffer);
}

}  // namespace sidera::tool
