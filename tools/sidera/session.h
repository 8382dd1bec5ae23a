// A session with one mount: connect, then run steps (align, goto, slew,
// stop, track, sync, status...) one after the other in this process, since
// the mount lives inside the library loaded here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/sidera/astro.h"
#include "tools/sidera/library.h"
#include "tools/sidera/output.h"
#include "tools/sidera/sky_clock.h"
#include "tools/sidera/stars.h"
#include "tools/sidera/steps.h"

namespace sidera::tool {

// A host-side failure that has no library code (bad words, time-out).
inline constexpr int kUsageError = -1;
inline constexpr int kTimedOut = -2;
inline constexpr int kInterrupted = -3;

struct SessionOptions {
  int model = 6;
  double latitude = 0.7103;    // radians (40.7 N)
  double longitude = -1.2915;  // radians, east positive (74.0 W)
  double elevation = 10.0;     // metres
  int port = -1;               // serial port number for SetComPort, -1: library default
  double motionTimeout = 900;  // sky seconds a motion may take before the tool gives up
};

// Where a goto was sent.
struct Target {
  enum class Kind { kSky, kHorizontal, kAxes } kind = Kind::kSky;
  std::string name;
  double a = 0;  // right ascension, azimuth or axis 0
  double b = 0;  // declination, altitude or axis 1
};

struct MotionReport {
  double seconds = 0;       // sky seconds from command to arrival
  double errorArcsec = -1;  // commanded versus reported position at arrival
};

struct AlignReport {
  std::vector<std::string> stars;
  std::vector<double> beforeArcsec;  // nominal model's axes versus the centred readings
  std::vector<double> afterArcsec;   // aligned model's axes versus the same readings
  int quality = 0;
  double residual = 0;
};

struct TrackReport {
  double seconds = 0;
  double driftArcsec = 0;  // RA/Dec at the end versus at the start
  double worstArcsec = 0;  // largest excursion seen while watching
};

class Session {
 public:
  Session(const Library& library, Output& out, const SkyClock& clock, SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // CreateMount with the model and site; prints the outcome.
  int Connect();
  void Disconnect();

  // Runs one step; 0 on success, else the library's code or one of the
  // host codes above. Failures are printed with their message.
  int RunStep(const Words& words);

  // Building blocks shared with the demo.
  double LocalSidereal() const;
  // Hour angle and declination now of a J2000 catalogue place (precessed to
  // the date), as the mount takes them.
  SkyPoint SkyNow(double rightAscension, double declination) const;
  // The J2000 place of a position the mount reports now.
  Equatorial CatalogueOf(const SkyPoint& sky) const;
  int Goto(const Target& target, bool wait, MotionReport* report);
  // Centres each star (a goto, then the axis readings plus `offset0/1`,
  // radians, standing for a mechanical error of the mount) and aligns.
  int Align(const std::vector<const Star*>& stars, double offset0, double offset1,
            AlignReport* report);
  int Track(double seconds, TrackReport* report);
  int ShowStatus();

  const SessionOptions& options() const { return options_; }
  const SideraApi& api() const { return library_.api(); }

  // Prints "what: code message" (or its JSON form) and returns `code`.
  int Fail(const std::string& what, int code);

 private:
  int StepGoto(const Words& w);
  int StepAlign(const Words& w);
  int StepSlew(const Words& w);
  int StepStop(const Words& w);
  int StepTrack(const Words& w);
  int StepSync(const Words& w);
  int StepStatus(const Words& w);
  int StepWait(const Words& w);
  int StepLimits(const Words& w);
  int StepStars();
  int Usage(const std::string& step, const std::string& usage);
  void Done(const std::string& step, const std::string& text, JsonObject json = {});

  // Distance from the mount's reported position to the target, radians.
  std::optional<double> DistanceToTarget(const Target& target);
  // Watches a goto until the mount leaves the goto state.
  int WaitForGoto(const Target& target, MotionReport* report);
  // Watches for `seconds` of sky time, drawing `line()` as progress.
  int Watch(double seconds, const std::string& label);
  std::string PositionLine();
  void StopAll();

  const Library& library_;
  Output& out_;
  const SkyClock& clock_;
  SessionOptions options_;
  bool connected_ = false;
  std::optional<Target> target_;
};

}  // namespace sidera::tool
