// What the server's syncs make of the pointing model: by default each sync
// is a one-star alignment on the star given; when the setup page asks for
// it, each sync adds a point of the many-star model (host/sync_points.h),
// as the INDI driver's syncs do. Sync and Clear run on the worker's calls
// lane; the view is read by the setup page from the HTTP threads.
#pragma once

#include <mutex>
#include <vector>

#include "host/sync_points.h"
#include "sidera.h"

namespace sidera::alpaca {

struct SyncPointView {
  double raHours = 0;
  double decDegrees = 0;
  double residualArcsec = 0;  // on the sky, in the last fit
  bool used = true;           // false: the fit left it out as centred on the wrong object
};

struct SyncModelView {
  std::vector<SyncPointView> points;  // oldest first
  double rmsArcsec = 0;               // of the used points' residuals
};

class SyncModel {
 public:
  // Fits the model to a sync on `star` (whose right ascension is `raHours`),
  // as a new point when `addsPoint`, else as a one-star alignment that
  // drops the points. A failed fit keeps the model and the points as they
  // were. Returns the library's code.
  int Sync(const AlignStar& star, double raHours, bool addsPoint);
  // Drops every point; with a mount, its model goes back to the nominal one.
  int Clear(bool connected);
  // A mount connected or released: its points are gone.
  void Forget();
  SyncModelView View() const;

 private:
  void ShowFit();  // on the worker, after a fit of the points

  host::SyncPoints points_;  // the worker's alone
  mutable std::mutex mutex_;
  SyncModelView view_;  // guarded by mutex_
};

}  // namespace sidera::alpaca
