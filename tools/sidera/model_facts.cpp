// One row per mount model: the figures the host program checks slew rates
// and goto arrivals against. The figures are those each model's driver uses.
#include "tools/sidera/model_facts.h"

#include <iterator>

namespace sidera::tool {
namespace {

// Family-1 rates above about 4.55 degrees a second do not fit the wire, so
// 4 (its fast goto speed) is the limit; family 3 clamps at 3.4; family 2
// and the alt-azimuth simulator slew at 8, the equatorial simulator at 4.
// The family-3 models use 2' (equatorial) or 5' (alt-azimuth) unless their
// controller is an early one of model codes 0x80 to 0x82, when it is 0.1
// degree; the host cannot tell, so it allows the larger.
constexpr ModelFacts kModels[] = {
    {0, 1, false, 4.0, 1.0 / 12, 10.0},  {1, 1, true, 4.0, 1.0 / 30, 6.0},
    {2, 3, false, 3.4, 0.1, 0.0},        {3, 3, true, 3.4, 0.1, 0.0},
    {4, 3, true, 3.4, 0.1, 0.0},         {5, 3, false, 3.4, 0.1, 0.0},
    {6, 0, true, 4.0, 1.0 / 30, 2.0},    {7, 0, false, 8.0, 0.05, 2.0},
    {8, 2, false, 8.0, 1.0 / 12, 12.0},  {9, 2, false, 8.0, 1.0 / 12, 12.0},
    {10, 2, false, 8.0, 1.0 / 12, 12.0}, {11, 2, false, 8.0, 1.0 / 12, 12.0},
};

}  // namespace

const ModelFacts* FactsOf(int type) {
  if (type < 0 || type >= static_cast<int>(std::size(kModels))) return nullptr;
  return &kModels[type];
}

}  // namespace sidera::tool
