// The named-target table and its lookup. The table itself is generated from
// the catalogue files in catalogue/ (see generate_targets.py there).
#include "host/targets.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace sidera::host {
namespace {

constexpr CatalogueEntry kCatalogue[] = {
#include "host/catalogue/targets.inc"
};

struct BodyName {
  Body body;
  const char* name;
};
constexpr BodyName kBodies[] = {
    {Body::kMoon, "Moon"},     {Body::kMercury, "Mercury"}, {Body::kVenus, "Venus"},
    {Body::kMars, "Mars"},     {Body::kJupiter, "Jupiter"}, {Body::kSaturn, "Saturn"},
    {Body::kUranus, "Uranus"}, {Body::kNeptune, "Neptune"},
};

NamedTarget OfBody(const BodyName& b) {
  NamedTarget t;
  t.body = b.body;
  t.name = b.name;
  t.kind = b.body == Body::kMoon ? "moon" : "planet";
  return t;
}

NamedTarget OfEntry(const CatalogueEntry& e) {
  NamedTarget t;
  t.entry = &e;
  t.name = e.name;
  t.kind = e.kind;
  return t;
}

// Calls `f(name)` for every name and alias of an entry.
template <typename F>
void ForEachName(const CatalogueEntry& e, F&& f) {
  f(std::string_view(e.name));
  std::string_view rest(e.aliases);
  while (!rest.empty()) {
    const size_t bar = rest.find('|');
    f(rest.substr(0, bar));
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == ' ' || c == '-' || c == '_' || c == '\'' || c == '\t') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

std::span<const CatalogueEntry> Catalogue() { return kCatalogue; }

std::vector<NamedTarget> Bodies() {
  std::vector<NamedTarget> out;
  for (const BodyName& b : kBodies) out.push_back(OfBody(b));
  return out;
}

CataloguePlace NamedTarget::PlaceAt(int64_t unixMillis) const {
  if (entry == nullptr) return PlaceOfBody(body, unixMillis);
  constexpr double kDegree = 3.141592653589793 / 180.0;
  CataloguePlace p;
  p.rightAscension = entry->raDegrees * kDegree;
  p.declination = entry->decDegrees * kDegree;
  p.pmRaCosDec = entry->pmRaCosDec;
  p.pmDec = entry->pmDec;
  return p;
}

bool FindTarget(std::string_view name, NamedTarget* target) {
  const std::string wanted = FoldName(name);
  if (wanted.empty()) return false;
  for (const BodyName& b : kBodies) {
    if (FoldName(b.name) == wanted) {
      *target = OfBody(b);
      return true;
    }
  }
  for (const CatalogueEntry& e : kCatalogue) {
    bool found = false;
    ForEachName(e, [&](std::string_view n) { found = found || FoldName(n) == wanted; });
    if (found) {
      *target = OfEntry(e);
      return true;
    }
  }
  return false;
}

std::string RefusedTargetReason(std::string_view name) {
  const std::string folded = FoldName(name);
  if (folded == "sun" || folded == "sol") {
    return "the Sun is not offered as a target: a telescope pointed at it without a proper "
           "filter blinds and burns";
  }
  return "";
}

std::vector<std::string> SuggestTargets(std::string_view name) {
  const std::string wanted = FoldName(name);
  if (wanted.empty()) return {};
  // Close enough: a third of the letters may differ, at least two.
  const size_t limit = std::max<size_t>(2, wanted.size() / 3);
  std::vector<std::pair<size_t, std::string>> found;
  auto consider = [&](std::string_view display, std::string_view shownAs) {
    const size_t d = EditDistance(wanted, FoldName(display));
    if (d > limit) return;
    for (auto& [distance, shown] : found) {
      if (shown == shownAs) {
        distance = std::min(distance, d);
        return;
      }
    }
    found.emplace_back(d, std::string(shownAs));
  };
  for (const BodyName& b : kBodies) consider(b.name, b.name);
  for (const CatalogueEntry& e : kCatalogue) {
    ForEachName(e, [&](std::string_view n) { consider(n, n); });
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (const auto& [distance, shown] : found) {
    if (out.size() == 3) break;
    out.push_back(shown);
  }
  return out;
}

std::string UnknownTargetText(std::string_view name) {
  if (std::string reason = RefusedTargetReason(name); !reason.empty()) return reason;
  std::string text = "unknown target '" + std::string(name) + "'";
  const std::vector<std::string> close = SuggestTargets(name);
  for (size_t i = 0; i < close.size(); ++i) {
    text += i == 0 ? "; did you mean " : (i + 1 == close.size() ? " or " : ", ");
    text += close[i];
  }
  if (!close.empty()) text += "?";
  return text + " (see: targets)";
}

}  // namespace sidera::host
