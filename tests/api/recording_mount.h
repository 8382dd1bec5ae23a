// A mount that records every virtual operation the exported functions
// forward to, with its arguments, and answers with preset results.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sidera/core/telescope_mount.h"

namespace sidera::testing {

struct Call {
  std::string name;
  std::vector<double> args;
};

class RecordingMount : public TelescopeMount {
 public:
  std::vector<Call> calls;
  // Result per operation name; 0 when not set.
  std::map<std::string, int> results;
  // What the position reads report.
  double positions[2] = {0.0, 0.0};
  // When set, Shutdown() and the destructor note themselves here.
  std::vector<std::string>* lifecycle = nullptr;

  ~RecordingMount() override {
    if (lifecycle != nullptr) lifecycle->push_back("destroyed");
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const Call& c : calls) names.push_back(c.name);
    return names;
  }

  int SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) override {
    // A recognisable conversion: axes = (ha + 1, dec + 2).
    out = AxisPair{in.hourAngle + 1.0, in.declination + 2.0};
    return Record("SkyToAxes", {in.hourAngle, in.declination, double(applyMountErrors)});
  }
  int AxesToSky(AxisPair& in, SkyPoint& out, int applyMountErrors) override {
    out = SkyPoint{in.axis0 * 10.0, in.axis1 * 10.0};
    return Record("AxesToSky", {in.axis0, in.axis1, double(applyMountErrors)});
  }
  MountResult SetSite(double lat, double elev) override { return Record("SetSite", {lat, elev}); }
  MountResult SetMountErrors(double c, double n) override {
    return Record("SetMountErrors", {c, n});
  }
  int CheckStars1(SkyPoint a) override {
    return Record("CheckStars1", {a.hourAngle, a.declination});
  }
  int CheckStars2(SkyPoint a, SkyPoint b, int mode) override {
    return Record("CheckStars2",
                  {a.hourAngle, a.declination, b.hourAngle, b.declination, double(mode)});
  }
  int CheckStars3(SkyPoint a, SkyPoint b, SkyPoint c) override {
    return Record("CheckStars3", {a.hourAngle, a.declination, b.hourAngle, b.declination,
                                  c.hourAngle, c.declination});
  }
  MountResult AlignOneStar(AlignStar s) override { return Record("AlignOneStar", {s.hourAngle}); }
  MountResult AlignTwoStars(AlignStar a, AlignStar b) override {
    return Record("AlignTwoStars", {a.hourAngle, b.hourAngle});
  }
  MountResult AlignThreeStars(AlignStar a, AlignStar b, AlignStar c) override {
    return Record("AlignThreeStars", {a.hourAngle, b.hourAngle, c.hourAngle});
  }
  int SaveAlignment(AlignmentRecord*) override { return Record("SaveAlignment", {}); }
  MountResult LoadAlignment(const AlignmentRecord*) override { return Record("LoadAlignment", {}); }
  MountResult MoveAxis(int axis, double rate, int factor) override {
    return Record("MoveAxis", {double(axis), rate, double(factor)});
  }
  MountResult StopAxis(int axis) override { return Record("StopAxis", {double(axis)}); }
  MountResult GotoSky(SkyPoint t) override {
    return Record("GotoSky", {t.hourAngle, t.declination});
  }
  MountResult GotoHorizontal(double az, double alt) override {
    return Record("GotoHorizontal", {az, alt});
  }
  MountResult GotoAxes(double a0, double a1) override { return Record("GotoAxes", {a0, a1}); }
  MountResult SyncHomePosition() override { return Record("SyncHomePosition", {}); }
  MountResult SyncAxis(int axis, double angle) override {
    return Record("SyncAxis", {double(axis), angle});
  }
  MountResult SetAltitudeLimits(double lo, double hi) override {
    return Record("SetAltitudeLimits", {lo, hi});
  }
  MountResult SetBacklash(int axis, double angle) override {
    return Record("SetBacklash", {double(axis), angle});
  }
  MountResult SetGuideRate(int axis, double rate) override {
    return Record("SetGuideRate", {double(axis), rate});
  }
  MountResult SetTracking(int on) override { return Record("SetTracking", {double(on)}); }
  MountResult SetTrackingRateMode(int mode) override {
    return Record("SetTrackingRateMode", {double(mode)});
  }
  MountResult ExtensionCommand(int value) override {
    return Record("ExtensionCommand", {double(value)});
  }
  MountResult GetAxisPosition(int axis, double* out) override {
    *out = positions[axis];
    return Record("GetAxisPosition" + std::to_string(axis), {});
  }
  MountResult GetSkyPosition(SkyPoint* out) override {
    *out = SkyPoint{1.5, 2.5};
    return Record("GetSkyPosition", {});
  }
  MountResult GetHorizontalPosition(HorizontalPoint* out) override {
    *out = HorizontalPoint{3.5, 4.5};
    return Record("GetHorizontalPosition", {});
  }
  MountResult GetAxisState(int axis, uint32_t* out) override {
    *out = 9;
    return Record("GetAxisState", {double(axis)});
  }
  MountResult GetMountState(uint32_t* out) override {
    *out = 8;
    return Record("GetMountState", {});
  }
  void Shutdown() override {
    if (lifecycle != nullptr) lifecycle->push_back("Shutdown");
    TelescopeMount::Shutdown();
  }

 private:
  int Record(const std::string& name, std::vector<double> args) {
    calls.push_back(Call{name, std::move(args)});
    auto it = results.find(name);
    return it == results.end() ? 0 : it->second;
  }
};

}  // namespace sidera::testing
