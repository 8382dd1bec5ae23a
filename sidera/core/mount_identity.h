// What kind of mount an object is: the model number it reports, whether it
// is equatorial, and the few behaviours a model switches on.
#pragma once

#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

// Set by the constructors of the model classes (and, for the alignment
// syncs, by a hardware model's Connect, before any motion or alignment can
// run); read by any thread afterwards, never written again.
class MountIdentity {
 public:
  // The model number the object reports (-1 before a model class sets it).
  MountType Type() const { return type_; }
  bool Equatorial() const { return equatorial_; }
  // Whether an equatorial axis-1 goto across more than half a turn is
  // planned as the shorter way round the other side (GotoRun).
  bool RefinesEquatorialGotos() const { return refinesEquatorialGotos_; }
  // Whether a one-star alignment writes the star's angle into `axis`.
  bool SyncsAxisOnAlign(int axis) const { return syncAxisOnAlign_[axis]; }

 private:
  friend class TelescopeMount;
  MountType type_ = -1;
  bool equatorial_ = false;
  bool refinesEquatorialGotos_ = false;
  bool syncAxisOnAlign_[2] = {false, false};
};

}  // namespace sidera
