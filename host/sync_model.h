// What a front end's syncs make of the pointing model: each sync is either a
// one-star alignment on the star given or a new point of the many-star model
// (host/sync_points.h), and a fit that fails leaves the model as it was.
// Sync and Clear run on the calls lane; the view of the points and their
// residuals may be read from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "host/sync_points.h"
#include "sidera.h"

namespace sidera::host {

// Reads the axes with the star at right ascension `raHours` (of date) and
// declination `decDegrees` centred: the point, its hour angle taken at the
// middle of the read (a tracking axis moves on while the exchange lasts), at
// the sky clock's time `utcNow` and the site's `longitude` (degrees east).
// Returns the library's code of the read.
int ObserveCentredStar(double raHours, double decDegrees, const std::function<int64_t()>& utcNow,
                       double longitude, SyncPoint* point);

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

  SyncPoints points_;  // the worker's alone
  mutable std::mutex mutex_;
  SyncModelView view_;  // guarded by mutex_
};

}  // namespace sidera::host
