// The driver's use of the library, as plain C++ that runs on the library
// worker thread: every call into sidera.h goes through here, so the INDI glue
// only posts requests and shows results. Each operation returns what the
// event loop needs to show, including the library's message text for a
// failure. The driver changes no environment once its threads run: the
// debug choice and the device go to the library through its setters.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "host/guide_pulses.h"
#include "host/mount_worker.h"
#include "host/sky_clock.h"
#include "host/sync_points.h"
#include "indi/host_names.h"
#include "indi/library_text.h"
#include "sidera.h"

namespace sidera::indi {

// INDI's tracking modes: sidereal, solar, lunar.
inline constexpr int kTrackModeCount = 3;
// The library's mode (SetTrackingRateMode) for an INDI mode index.
int LibraryTrackingMode(int indiMode);

// A library result: the code and, when it is not 0, what went wrong.
struct Outcome {
  int code = 0;
  std::string text;  // "<what was asked>: <library message> (code N)"
  bool ok() const { return code == 0; }
};

struct Site {
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
  double elevation = 0;  // metres
};

struct ConnectRequest {
  int model = 6;
  std::string devicePath;  // hardware models only
  bool debug = false;      // the library's debug log, every topic
  Site site;
  std::optional<SavedAlignment> savedAlignment;
};

struct ConnectResult {
  Outcome outcome;
  bool equatorial = false;
  Outcome alignmentLoad;  // code 400 when the saved alignment is for another model
  bool alignmentLoaded = false;
};

// A goto the library was asked for: its result and, when it took the goto,
// the mount's outcome record read right after (it names the goto started).
struct GotoStart {
  Outcome outcome;
  MotionOutcome record{};
};

struct AlignmentState {
  int stars = 0;  // synced points
  int used = 0;   // of them, the points the fit used (it drops wrong centrings)
  int quality = 0;
  double residual = 0;  // RMS of the used points' residuals, radians
  std::string saved;    // the model and its points as text, "" when not aligned
};

struct SyncResult {
  Outcome outcome;
  int rating = 0;  // the library's 0-5 rating of one to three stars; 0 beyond
  AlignmentState alignment;
};

class MountSession {
 public:
  // The library's display name of a model in the locale's language.
  // GetErrorMessage's text for `code`, with what was asked.
  static Outcome Fail(int code, const std::string& what);

  ConnectResult Connect(const ConnectRequest& request);
  void Disconnect();

  // A goto to JNow coordinates: the hour angle is taken from the local
  // sidereal time at the moment of the call.
  GotoStart Goto(const host::SkyClock& clock, double longitude, double raHours, double decDegrees);
  // Adds the telescope's current axis readings, taken as pointing at the
  // given coordinates, to the points of the pointing model (SyncPoints)
  // and fits it again. A failed fit leaves the previous model in force.
  SyncResult Sync(const host::SkyClock& clock, double longitude, double raHours, double decDegrees);
  Outcome ClearAlignment(AlignmentState* state);
  // The alignment in force, with the number of synced stars behind it.
  AlignmentState Alignment();
  // Loads a saved model and takes its stars back as the synced points
  // (or an earlier version's record, without points).
  Outcome LoadAlignment(const SavedAlignment& saved);

  // Park: tracking off, then a goto to the park position (host::ParkAxes):
  // the user's axis angles in degrees where given, else the model's home.
  GotoStart Park(std::optional<double> axis0Degrees, std::optional<double> axis1Degrees);
  Outcome SetTracking(bool on);
  Outcome SetTrackingMode(int indiMode, bool restartTracking);
  Outcome SetSite(const Site& site);
  Outcome SetGuideRates(double westEast, double northSouth);

  // Starts a direction-button motion; `trackingRate` is the sky rate tracking
  // follows (0 when off).
  Outcome StartMotion(Direction direction, double presetRate, double trackingRate);
  Outcome StopMotion(Direction direction);

  // A guide pulse on `lane` (host::GuidePulses) of `offset` radians per
  // second on the sky for `duration`; its end runs on the stop lane.
  Outcome StartPulse(host::GuidePulses& pulses, int lane, double offset,
                     std::chrono::milliseconds duration, double trackingRate, uint64_t tag);

  bool equatorial() const { return equatorial_; }

 private:
  MountGeometry Geometry(Outcome* outcome);
  Outcome Load(const SavedAlignment& saved, const std::string& what);

  // Touched by the worker thread only.
  bool equatorial_ = false;
  int model_ = -1;
  bool southern_ = false;
  host::SyncPoints book_;
};

}  // namespace sidera::indi
