// The named targets as the host program uses them: the catalogue lives in
// host/ so that every front end can name targets.
#pragma once

#include "host/targets.h"
#include "tools/sidera/astro.h"

namespace sidera::tool {

using host::Bodies;
using host::Catalogue;
using host::CatalogueEntry;
using host::FindTarget;
using host::FoldName;
using host::NamedTarget;
using host::RefusedTargetReason;
using host::SuggestTargets;
using host::UnknownTargetText;

}  // namespace sidera::tool
