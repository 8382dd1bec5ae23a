// Key-driven editing of the site fields: display, focus, wrap-around steps.
#include "location/core/site_editor.h"

#include <cctype>
#include <climits>

#include "location/core/dms.h"

namespace location {
namespace {

constexpr int kMaxima[12] = {179, 59, 59, 2, 89, 59, 59, 2, 9, 9, 9, 9};

int Slot(int control) { return control - kFirstField; }

}  // namespace

int ParseFieldInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) return 0;  // not a field value at all
  }
  return static_cast<int>(negative ? -value : value);
}

SiteEditor::SiteEditor() { Show(0, 0, 0); }

int SiteEditor::Maximum(int control) { return IsField(control) ? kMaxima[Slot(control)] : 0; }

int SiteEditor::PreviousControl(int control) {
  return control <= kFirstField || control > kLastField ? kLastField : control - 1;
}

int SiteEditor::NextControl(int control) {
  return control >= kLastField || control < kFirstField ? kFirstField : control + 1;
}

const std::string& SiteEditor::Text(int control) const {
  static const std::string kNone;
  return IsField(control) && !IsHemisphere(control) ? texts_[Slot(control)] : kNone;
}

int SiteEditor::HemisphereLine(int control) const {
  return control == kLonHemisphere   ? hemisphereLine_[0]
         : control == kLatHemisphere ? hemisphereLine_[1]
                                     : 0;
}

void SiteEditor::SetNumber(int control, int value) {
  texts_[Slot(control)] = std::to_string(value);
}

void SiteEditor::Show(double longitude, double latitude, int elevation) {
  const double angles[2] = {longitude, latitude};
  for (int group = 1; group <= 2; ++group) {
    const DmsDisplay shown = ToDms(angles[group - 1]);
    SetNumber(ControlOf(group, 0), shown.degrees);
    SetNumber(ControlOf(group, 1), shown.minutes);
    SetNumber(ControlOf(group, 2), shown.seconds);
    if (shown.sign != 0) hemisphereLine_[group - 1] = shown.sign < 0 ? 1 : 0;
  }
  const std::array<int, 4> digits = ElevationDigits(elevation);
  for (int i = 0; i < 4; ++i) SetNumber(ControlOf(3, i), digits[i]);
}

void SiteEditor::Focus(int control) {
  if (!IsField(control)) return;
  selectedGroup_ = GroupOf(control);
  selectedIndex_[selectedGroup_ - 1] = IndexOf(control);
}

void SiteEditor::Step(int delta) {
  const int control = SelectedControl();
  if (IsHemisphere(control)) {
    int& line = hemisphereLine_[control == kLonHemisphere ? 0 : 1];
    line = line < 1 ? line + 1 : line - 1;
  } else {
    int value = FieldValue(control) + delta;
    if (value > Maximum(control)) value = 0;
    if (value < 0) value = Maximum(control);
    SetNumber(control, value);
  }
  edited_ = true;
}

void SiteEditor::SetText(int control, const std::string& text) {
  if (!IsField(control) || IsHemisphere(control)) return;
  texts_[Slot(control)] = text;
  edited_ = true;
}

double SiteEditor::Longitude() const {
  return FromDms(FieldValue(1002), FieldValue(1003), FieldValue(1004), hemisphereLine_[0] == 1);
}

double SiteEditor::Latitude() const {
  return FromDms(FieldValue(1006), FieldValue(1007), FieldValue(1008), hemisphereLine_[1] == 1);
}

int SiteEditor::Elevation() const {
  return 1000 * FieldValue(1010) + 100 * FieldValue(1011) + 10 * FieldValue(1012) +
         FieldValue(1013);
}

}  // namespace location
