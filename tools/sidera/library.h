// The Sidera library as the host sees it: loaded at run time with dlopen and
// bound operation by operation through GetOperationByOrdinal, the way the
// controller's own host binds it (the operations that have no ordinal by
// name). Nothing here links against the library.
#pragma once

#include <cstdint>
#include <string>

#include "sidera.h"

namespace sidera::tool {

// One typed function pointer per exported operation, named after it.
struct SideraApi {
  void (*GetErrorMessage)(int, SideraChar16*) = nullptr;                  // 1
  int (*GetMountName)(int, SideraChar16*) = nullptr;                      // 10
  int (*CreateMount)(int, double, double) = nullptr;                      // 11
  int (*DestroyMount)() = nullptr;                                        // 12
  int (*SetSite)(double, double) = nullptr;                               // 13
  int (*IsEquatorialMount)() = nullptr;                                   // 14
  void (*SetComPort)(int) = nullptr;                                      // 15
  int (*RegisterBluetoothPort)(uint64_t, int, uint32_t*) = nullptr;       // 16
  int (*CheckStars1)(SkyPoint) = nullptr;                                 // 20
  int (*CheckStars2)(SkyPoint, SkyPoint, int) = nullptr;                  // 21
  int (*CheckStars3)(SkyPoint, SkyPoint, SkyPoint) = nullptr;             // 22
  int (*SetMountErrors)(double, double) = nullptr;                        // 23
  int (*AlignOneStar)(AlignStar) = nullptr;                               // 24
  int (*AlignTwoStars)(AlignStar, AlignStar) = nullptr;                   // 25
  int (*AlignThreeStars)(AlignStar, AlignStar, AlignStar) = nullptr;      // 26
  int (*GetAlignmentQuality)(double*) = nullptr;                          // 27
  int (*GetMountErrors)(double*, double*) = nullptr;                      // 28
  int (*SaveAlignment)(AlignmentRecord*) = nullptr;                       // 29
  int (*LoadAlignment)(const AlignmentRecord*) = nullptr;                 // 30
  int (*MoveAxis)(int, double) = nullptr;                                 // 40
  int (*GotoAxis)(int, double) = nullptr;                                 // 41
  int (*StopAxis)(int) = nullptr;                                         // 42
  int (*SetAltitudeLimits)(double, double) = nullptr;                     // 43
  int (*SyncAxis)(int, double) = nullptr;                                 // 44
  int (*SetBacklash)(int, double) = nullptr;                              // 45
  int (*SetGuideRate)(int, double) = nullptr;                             // 46
  int (*GotoSky)(double, double) = nullptr;                               // 47
  int (*SetTracking)(int) = nullptr;                                      // 48
  int (*SetTrackingRateMode)(int) = nullptr;                              // 49
  int (*ExtensionCommand)(int) = nullptr;                                 // 50
  int (*GotoAxes)(double, double) = nullptr;                              // 51
  int (*GotoHorizontal)(double, double) = nullptr;                        // 52
  int (*SkyToAxes)(SkyPoint, AxisPair*) = nullptr;                        // 53
  int (*GotoSkyWithAxisOffset)(SkyPoint, double, double) = nullptr;       // 54
  void (*SetGotoParameters)(double, double, double, double) = nullptr;    // 55
  int (*SyncHomePosition)() = nullptr;                                    // 56
  int (*GetAxisPosition)(int, double*) = nullptr;                         // 70
  int (*GetAxisPositions)(AxisPair*) = nullptr;                           // 71
  int (*GetSkyPosition)(SkyPoint*) = nullptr;                             // 72
  int (*GetHorizontalPosition)(HorizontalPoint*) = nullptr;               // 73
  int (*GetAxisState)(int, uint32_t*) = nullptr;                          // 74
  int (*GetMountState)(uint32_t*) = nullptr;                              // 75
  double (*ComputeSiderealTime)(CivilDateTime, double, int) = nullptr;    // 90
  double (*AngularSeparation)(double, double, double, double) = nullptr;  // 91
  // Exported by name only.
  int (*GetMotionOutcome)(int, MotionOutcome*) = nullptr;
};

// Where the library is looked for: $SIDERA_LIBRARY when set, else
// <directory of this executable>/../lib/libsidera.so.
std::string DefaultLibraryPath();

class Library {
 public:
  // Loads the library and binds every operation. On failure returns false
  // and error() says what went wrong (a missing file, a missing ordinal).
  bool Load(const std::string& path);

  const SideraApi& api() const { return api_; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // GetErrorMessage's text for `code`, in UTF-8.
  std::string ErrorText(int code) const;
  // The display name of a model, or "" when the library rejects the number.
  std::string MountName(int mountType) const;

  // The library stays loaded until the process ends: its worker threads are
  // joined by DestroyMount, but unloading buys nothing for a short-lived tool.

 private:
  SideraApi api_;
  std::string error_;
  std::string path_;
};

}  // namespace sidera::tool
