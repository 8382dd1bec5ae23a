// What the files of the INDI glue share: their constants, small property
// helpers, and the template that runs library work on the worker.
#pragma once

#include <libindi/indicom.h>
#include <libindi/indidriver.h>

#include <chrono>
#include <cstring>
#include <string>

#include "host/model_facts.h"
#include "indi/sidera_mount_driver.h"

namespace sidera::indi {

constexpr int kModelCount = host::kModelCount;
constexpr const char* kAlignmentTab = "Alignment";
// Sky seconds after which a goto the library has not ended counts as hung.
constexpr double kGotoLimitSeconds = 600.0;
// Code of a queued motion request dropped because an abort came after it.
constexpr int kDropped = -1;

inline int64_t SystemUtcMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

inline bool Named(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// Shows a failed library call on the property it concerns.
inline void ShowFailure(ISwitchVectorProperty& sp, const Outcome& o) {
  if (o.ok()) return;
  sp.s = IPS_ALERT;
  IDSetSwitch(&sp, "%s", o.text.c_str());
}

inline void ShowFailure(INumberVectorProperty& np, const Outcome& o) {
  if (o.ok()) return;
  np.s = IPS_ALERT;
  IDSetNumber(&np, "%s", o.text.c_str());
}

// The elements of `property` that an update leaves out, as "RA, DEC"; ""
// when it carries them all.
inline std::string MissingElements(const INDI::PropertyNumber& property, char* names[], int n) {
  std::string missing;
  for (const auto& element : property) {
    bool given = false;
    for (int i = 0; i < n && !given; ++i) given = Named(names[i], element.getName());
    if (!given) missing += (missing.empty() ? "" : ", ") + std::string(element.getName());
  }
  return missing;
}

// 12:34:56 for hours or degrees, as INDI clients show them.
inline std::string Sexagesimal(double value) {
  char text[32];
  fs_sexa(text, value, 2, 3600);
  return text;
}

// Runs `work` on the library worker and then `done` with its result on the
// event loop, unless a connect or disconnect has come in between.
template <typename Work, typename Done>
void SideraMountDriver::Run(Work work, Done done) {
  const int generation = generation_;
  worker_->calls.Post([this, generation, work, done] {
    auto result = work();
    replies_.Reply([this, generation, result, done] {
      if (Current(generation)) done(result);
    });
  });
}

}  // namespace sidera::indi
