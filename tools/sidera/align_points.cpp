// `align add`, `align save` and `align load`: the pointing model built one
// centred star at a time, and kept in the library's versioned model file.
#include <chrono>
#include <fstream>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/session.h"

namespace sidera::tool {

namespace {

constexpr double kArcsecPerRadian = 180.0 / 3.14159265358979323846 * 3600.0;

}  // namespace

Outcome Session::AlignAdd(const AlignAddStep& add, const std::string& step) {
  const std::string what = "align add " + add.star.label;
  // The star's place at the moment of the read, the middle of the exchange:
  // a tracking axis moves on while it lasts.
  AxisPair axes{};
  const int64_t before = Now();
  if (Outcome o = ReadAxes(&axes); !o.ok()) {
    ReportFailure(step, what, o);
    return o;
  }
  const int64_t readAt = before + (Now() - before) / 2;
  CataloguePlace place;
  if (add.star.kind == TargetSpec::Kind::kNamed) {
    place = add.star.named.PlaceAt(readAt);
  } else {
    place.rightAscension = add.star.a;
    place.declination = add.star.b;
  }
  const LocalPlace p = LocalOf(place, options_.site.observer, readAt);
  const AlignStar star{p.hourAngle, p.declination, axes.axis0 + add.offset0,
                       axes.axis1 + add.offset1};

  // A star centred again replaces its earlier reading; the newest is last,
  // where the model reads it back exactly.
  std::vector<AlignPoint> points = alignPoints_;
  std::erase_if(points, [&](const AlignPoint& q) { return q.label == add.star.label; });
  points.push_back({add.star.label, star});
  std::vector<AlignStar> stars;
  for (const AlignPoint& q : points) stars.push_back(q.star);
  const int n = static_cast<int>(stars.size());
  if (const int code = ::AlignStars(stars.data(), n); code != 0) {
    Outcome o = FromCode(code);
    o.message +=
        "; the model of the " + std::to_string(alignPoints_.size()) + " stars before stays";
    ReportFailure(step, what, o);
    return o;
  }
  alignPoints_ = points;

  std::vector<double> residuals(stars.size());
  std::vector<int> used(stars.size());
  int count = 0;
  (void)::GetAlignmentResiduals(residuals.data(), used.data(), n, &count);  // 0: a mount
  double rms = 0;
  const int quality = ::GetAlignmentQuality(&rms);
  // Where the model now puts the star against the readings taken with it
  // centred: what the position reads there (--offset stands for an error
  // of the mount, so the model's axes are compared, not a fresh read).
  AxisPair model{};
  (void)::SkyToAxes(SkyPoint{p.hourAngle, p.declination}, &model);  // 0 with a mount
  const double off = Separation(model.axis0, model.axis1, star.axis0, star.axis1);

  // The residual table: one line a star, in the order fitted.
  std::string text = "Added " + add.star.label + ": " + std::to_string(n) + " star" +
                     (n == 1 ? "" : "s") + " in the pointing model, RMS of the residuals " +
                     FormatFixed(rms * kArcsecPerRadian, 1) + "\"; the mount reads " +
                     add.star.label + " " + FormatFixed(off * kArcsecPerRadian, 2) + "\" off";
  std::string names = "[", fits = "[", flags = "[";
  for (int i = 0; i < n; ++i) {
    const bool fitted = i >= count || used[i] != 0;
    const double arcsec = i < count ? residuals[i] * kArcsecPerRadian : 0.0;
    text += "\n  " + std::to_string(i + 1) + ". " + points[i].label + "  " +
            FormatFixed(arcsec, 1) + "\"" + (fitted ? "" : "  dropped (too far off)");
    const char* comma = i > 0 ? "," : "";
    names += comma;
    names += JsonString(points[i].label);
    fits += comma;
    fits += JsonNumber(arcsec);
    flags += comma;
    flags += fitted ? "true" : "false";
  }
  Done(step, text,
       JsonObject()
           .Add("star", add.star.label)
           .AddRaw("stars", names + "]")
           .AddRaw("residualArcsec", fits + "]")
           .AddRaw("used", flags + "]")
           .Add("rmsArcsec", rms * kArcsecPerRadian)
           .Add("quality", quality)
           .Add("readsOffArcsec", off * kArcsecPerRadian));
  return Outcome::Ok();
}

Outcome Session::AlignSave(const AlignSaveStep& save, const std::string& step) {
  int size = 0;
  (void)::SaveAlignmentModel(nullptr, 0, &size);  // the size it needs
  std::vector<uint8_t> bytes(static_cast<size_t>(size > 0 ? size : 0));
  if (const int code = ::SaveAlignmentModel(bytes.data(), size, &size); code != 0) {
    Outcome o = FromCode(code);
    ReportFailure(step, "align save", o);
    return o;
  }
  AlignmentRecord record{};
  (void)::SaveAlignment(&record);  // for whether it is aligned
  int stars = 0;
  double ignored = 0;
  int used = 0;
  (void)::GetAlignmentResiduals(&ignored, &used, 0, &stars);
  std::ofstream file(save.path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
  file.close();
  if (!file) {
    const Outcome o{Outcome::Kind::kFile, 0, "cannot write " + save.path};
    ReportFailure(step, "align save", o);
    return o;
  }
  Done(step,
       "Saved the pointing model (" + std::string(record.isAligned ? "aligned" : "not aligned") +
           ", " + std::to_string(stars) + " stars) to " + save.path,
       JsonObject()
           .Add("file", save.path)
           .Add("aligned", record.isAligned != 0)
           .Add("stars", stars)
           .Add("bytes", size));
  return Outcome::Ok();
}

Outcome Session::AlignLoad(const AlignLoadStep& load, const std::string& step) {
  const int code =
      load.isRecord ? ::LoadAlignment(&load.record)
                    : ::LoadAlignmentModel(load.model.data(), static_cast<int>(load.model.size()));
  if (code != 0) {
    Outcome o = FromCode(code);
    ReportFailure(step, "align load", o);
    return o;
  }
  // `align add` goes on from the loaded model's stars (the file keeps no
  // names: they are numbered); a 200-byte record has none.
  alignPoints_.clear();
  int count = 0;
  AlignStar none{};
  if (!load.isRecord && GetAlignmentStars(&none, 0, &count) == 0 && count > 0) {
    std::vector<AlignStar> stars(static_cast<size_t>(count));
    if (GetAlignmentStars(stars.data(), count, &count) == 0) {
      for (size_t i = 0; i < stars.size() && i < static_cast<size_t>(count); ++i) {
        alignPoints_.push_back({"loaded star " + std::to_string(i + 1), stars[i]});
      }
    }
  }
  const int stars = static_cast<int>(alignPoints_.size());
  Done(step,
       std::string("Loaded the ") + (load.isRecord ? "alignment record" : "pointing model") +
           " from " + load.path +
           (load.isRecord ? std::string()
                          : " (" + std::to_string(stars) + " star" + (stars == 1 ? "" : "s") +
                                "; align add goes on from them)"),
       JsonObject()
           .Add("file", load.path)
           .Add("format", load.isRecord ? "record" : "model")
           .Add("stars", stars));
  return Outcome::Ok();
}

}  // namespace sidera::tool
