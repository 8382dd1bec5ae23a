#include <cstddef>

#include "sidera/api/texts.h"

namespace sidera {

namespace {

struct MountNameRow {
  const char16_t* english;
  const char16_t* simplified;
  const char16_t* traditional;
};

// Indexed by model number.
constexpr MountNameRow kMountNames[] = {
    {u"Vexlor Alt/Az Mount", u"Vexlor 经纬仪", u"Vexlor 經緯儀"},
    {u"Vexlor EQ Mount", u"Vexlor 赤道仪", u"Vexlor 赤道儀"},
    {u"Qualen Alt/Az Mount", u"Qualen 经纬仪", u"Qualen 經緯儀"},
    {u"Qualen EQ Mount", u"Qualen 赤道仪", u"Qualen 赤道儀"},
    {u"Brantel EQ-K Mount", u"Brantel 赤道仪", u"Brantel 赤道儀"},
    {u"Brantel Drifter Mount", u"Brantel Drifter 经纬仪", u"Brantel Drifter 經緯儀"},
    {u"EQ Mount Simulator", u"仿真赤道仪", u"仿真赤道儀"},
    {u"Alt/Az Mount Simulator", u"仿真经纬仪", u"仿真經緯儀"},
    {u"Vexlor Pathway-80 Alt/Az Mount", u"Vexlor Pathway-80 经纬仪", u"Vexlor Pathway-80 經緯儀"},
    {u"Vexlor Pathway-114 Alt/Az Mount", u"Vexlor Pathway-114 经纬仪",
     u"Vexlor Pathway-114 經緯儀"},
    {u"Brantel Wayfarer-80 Alt/Az Mount", u"Brantel Wayfarer-80 经纬仪",
     u"Brantel Wayfarer-80 經緯儀"},
    {u"Brantel Wayfarer-114 Alt/Az Mount", u"Brantel Wayfarer-114 经纬仪",
     u"Brantel Wayfarer-114 經緯儀"},
};

constexpr size_t kModelCount = sizeof(kMountNames) / sizeof(kMountNames[0]);
static_assert(kModelCount == 12);

}  // namespace

const char16_t* MountNameText(int type, TextLanguage language) {
  // Compared as unsigned, so a negative type counts as too large.
  if (static_cast<unsigned>(type) >= kModelCount) {
    return nullptr;
  }
  const MountNameRow& row = kMountNames[type];
  return InLanguage(language, row.english, row.simplified, row.traditional);
}

}  // namespace sidera
