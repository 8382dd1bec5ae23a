// The named targets every front end can point at: the bright stars and the Messier objects of the
// generated catalogue table, the Moon and the planets; lookup by name with
// suggestions for a misspelt one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/sky_frame.h"

namespace sidera::host {

struct CatalogueEntry {
  const char* name;
  const char* aliases;  // '|' between names; may be empty
  const char* kind;     // "star", "galaxy", "open cluster"...
  double raDegrees;     // ICRS, epoch J2000.0
  double decDegrees;
  double pmRaCosDec;  // mas/yr
  double pmDec;       // mas/yr
  double magnitude;   // 99: none given
};

// Every catalogue entry: stars brightest first, then the Messier objects.
std::span<const CatalogueEntry> Catalogue();

// A named target: a catalogue entry or a solar-system body.
struct NamedTarget {
  const CatalogueEntry* entry = nullptr;  // null for a body
  Body body = Body::kMoon;
  std::string name;
  std::string kind;  // "star", "galaxy"..., "moon", "planet"
  bool IsBody() const { return entry == nullptr; }
  // The place to convert at `unixMillis` (bodies move).
  CataloguePlace PlaceAt(int64_t unixMillis) const;
};

// Every body offered as a target, Moon first.
std::vector<NamedTarget> Bodies();

// Looks a name up ignoring case, blanks, '-', '_' and apostrophes ("m 31",
// "Rigil-Kentaurus"). Returns false when nothing matches.
bool FindTarget(std::string_view name, NamedTarget* target);

// Why a name is refused (for the Sun), or "" for an ordinary unknown name.
std::string RefusedTargetReason(std::string_view name);

// Up to three known names closest to `name` in spelling, closest first;
// empty when nothing is close.
std::vector<std::string> SuggestTargets(std::string_view name);

// The text for an unknown name: "unknown target 'X'; did you mean A or B?
// (see: targets)".
std::string UnknownTargetText(std::string_view name);

// The key names are compared under.
std::string FoldName(std::string_view name);

}  // namespace sidera::host
