// Exported star ratings and alignment operations on the current mount.
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/debug_log.h"
#include "sidera/api/export_checks.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/alignment_model_file.h"
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
    const PointingModel::Lock lock = mount.Model().Hold();
    if (residual != nullptr) {
      *residual = mount.Model().View().residual;
    }
    return mount.Model().View().quality;
  });
}

extern "C" SIDERA_API int GetMountErrors(double* collimation, double* nonPerpendicularity) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) {
    const PointingModel::Lock lock = mount.Model().Hold();
    if (collimation != nullptr) {
      *collimation = mount.Model().View().collimation;
    }
    if (nonPerpendicularity != nullptr) {
      *nonPerpendicularity = mount.Model().View().nonPerpendicularity;
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

extern "C" SIDERA_API int AlignStars(const AlignStar* stars, int count) {
  return OnCurrentMount(stars != nullptr && count >= 1,
                        [&](TelescopeMount& mount) { return mount.AlignStars(stars, count); });
}

extern "C" SIDERA_API int GetAlignmentResiduals(double* residuals, int* used, int capacity,
                                                int* count) {
  return OnCurrentMount(
      residuals != nullptr && used != nullptr && count != nullptr && capacity >= 0,
      [&](TelescopeMount& mount) {
        const PointingModel::Lock lock = mount.Model().Hold();
        const AlignmentBook& book = mount.Model().View().book;
        const int n = static_cast<int>(book.stars.size());
        for (int i = 0; i < n && i < capacity; ++i) {
          residuals[i] = book.residuals[i];
          used[i] = book.used[i];
        }
        *count = n;
        return static_cast<int>(kOk);
      });
}

extern "C" SIDERA_API int GetAlignmentStars(AlignStar* stars, int capacity, int* count) {
  return OnCurrentMount(stars != nullptr && count != nullptr && capacity >= 0,
                        [&](TelescopeMount& mount) {
                          const PointingModel::Lock lock = mount.Model().Hold();
                          const std::vector<AlignStar>& given = mount.Model().View().book.stars;
                          const int n = static_cast<int>(given.size());
                          for (int i = 0; i < n && i < capacity; ++i) stars[i] = given[i];
                          *count = n;
                          return static_cast<int>(kOk);
                        });
}

extern "C" SIDERA_API int SaveAlignmentModel(uint8_t* buffer, int capacity, int* size) {
  return OnCurrentMount(size != nullptr, [&](TelescopeMount& mount) {
    std::vector<uint8_t> bytes;
    {
      const PointingModel::Lock lock = mount.Model().Hold();
      bytes = EncodeAlignmentModel(mount);
    }
    *size = static_cast<int>(bytes.size());
    if (buffer == nullptr || capacity < *size) return static_cast<int>(kInvalidParameter);
    std::memcpy(buffer, bytes.data(), bytes.size());
    return static_cast<int>(kOk);
  });
}

extern "C" SIDERA_API int LoadAlignmentModel(const uint8_t* buffer, int size) {
  return OnCurrentMount(buffer != nullptr && size >= 0, [&](TelescopeMount& mount) {
    const char* reason = "";
    const PointingModel::Lock lock = mount.Model().Hold();
    const MountResult r =
        DecodeAlignmentModel(mount, buffer, static_cast<std::size_t>(size), &reason);
    if (r != kOk) SIDERA_DEBUG_LOG(kMotion, "pointing model refused: %s", reason);
    return static_cast<int>(r);
  });
}
