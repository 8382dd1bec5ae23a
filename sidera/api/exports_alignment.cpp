// Exported star ratings and alignment operations on the current mount.
#include <mutex>

#include "sidera/api/export_checks.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

namespace {

// Rating of a star set that contains a non-finite position: unusable.
constexpr int kUnusableStar = 0;

}  // namespace

extern "C" SIDERA_API int CheckStars1(SkyPoint s1) {
  return OnCurrentMount(
      IsFinite(s1), [&](TelescopeMount& mount) { return mount.CheckStars1(Wrapped(s1)); },
      kUnusableStar);
}

extern "C" SIDERA_API int CheckStars2(SkyPoint s1, SkyPoint s2, int mode) {
  return OnCurrentMount(
      IsFinite(s1) && IsFinite(s2),
      [&](TelescopeMount& mount) { return mount.CheckStars2(Wrapped(s1), Wrapped(s2), mode); },
      kUnusableStar);
}

extern "C" SIDERA_API int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) {
  return OnCurrentMount(
      IsFinite(s1) && IsFinite(s2) && IsFinite(s3),
      [&](TelescopeMount& mount) {
        return mount.CheckStars3(Wrapped(s1), Wrapped(s2), Wrapped(s3));
      },
      kUnusableStar);
}

extern "C" SIDERA_API int SetMountErrors(double collimation, double nonPerpendicularity) {
  return OnCurrentMount(AllFinite(collimation, nonPerpendicularity), [&](TelescopeMount& mount) {
    return mount.SetMountErrors(collimation, nonPerpendicularity);
  });
}

extern "C" SIDERA_API int AlignOneStar(AlignStar s1) {
  return OnCurrentMount(IsFinite(s1),
                        [&](TelescopeMount& mount) { return mount.AlignOneStar(s1); });
}

extern "C" SIDERA_API int AlignTwoStars(AlignStar s1, AlignStar s2) {
  return OnCurrentMount(IsFinite(s1) && IsFinite(s2),
                        [&](TelescopeMount& mount) { return mount.AlignTwoStars(s1, s2); });
}

extern "C" SIDERA_API int AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) {
  return OnCurrentMount(IsFinite(s1) && IsFinite(s2) && IsFinite(s3),
                        [&](TelescopeMount& mount) { return mount.AlignThreeStars(s1, s2, s3); });
}

// The result is the alignment quality itself, not a status code.
extern "C" SIDERA_API int GetAlignmentQuality(double* residual) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) {
    // The alignments write both under the model lock.
    std::lock_guard<std::recursive_mutex> lock(mount.modelMutex);
    if (residual != nullptr) {
      *residual = mount.alignmentResidual;
    }
    return mount.alignmentQuality;
  });
}

extern "C" SIDERA_API int GetMountErrors(double* collimation, double* nonPerpendicularity) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) {
    std::lock_guard<std::recursive_mutex> lock(mount.modelMutex);
    if (collimation != nullptr) {
      *collimation = mount.collimationError;
    }
    if (nonPerpendicularity != nullptr) {
      *nonPerpendicularity = mount.nonPerpendicularityError;
    }
    return kOk;
  });
}

// The result is the size of the record written (200).
extern "C" SIDERA_API int SaveAlignment(AlignmentRecord* record) {
  return OnCurrentMount(record != nullptr,
                        [&](TelescopeMount& mount) { return mount.SaveAlignment(record); });
}

extern "C" SIDERA_API int LoadAlignment(const AlignmentRecord* record) {
  return OnCurrentMount(record != nullptr,
                        [&](TelescopeMount& mount) { return mount.LoadAlignment(record); });
}
