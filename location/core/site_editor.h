// The twelve site fields of the main dialog and the rules for changing them
// with the keys: which field the up and down keys change, how a value wraps
// around at its limits, and where the left and right keys move the focus.
//
// Controls 1002..1005 are longitude degrees, minutes, seconds and
// hemisphere; 1006..1009 the same for latitude; 1010..1013 the elevation's
// thousands, hundreds, tens and units. Group 1 is longitude, 2 latitude,
// 3 elevation; the index within a group is the field's position (0..3).
#pragma once

#include <array>
#include <string>

namespace location {

inline constexpr int kFirstField = 1002;
inline constexpr int kLastField = 1013;
inline constexpr int kLonHemisphere = 1005;
inline constexpr int kLatHemisphere = 1009;

// Leading integer of a field's text ("12" -> 12, "7x" -> 7); text that does
// not start with a number counts as 0.
int ParseFieldInt(const std::string& text);

class SiteEditor {
 public:
  SiteEditor();

  // Shows a site: longitude and latitude as degrees, minutes, seconds and
  // hemisphere (a zero angle keeps the hemisphere shown), elevation as four
  // digits. Does not touch the edited flag.
  void Show(double longitude, double latitude, int elevation);

  static bool IsField(int control) { return control >= kFirstField && control <= kLastField; }
  static bool IsHemisphere(int control) {
    return control == kLonHemisphere || control == kLatHemisphere;
  }
  static int GroupOf(int control) { return (control - kFirstField) / 4 + 1; }
  static int IndexOf(int control) { return (control - kFirstField) % 4; }
  static int ControlOf(int group, int index) { return kFirstField + (group - 1) * 4 + index; }
  // Largest value of a field (179, 59, 59 and 89, 59, 59 for the angles, 9 for
  // each digit; 2 for a hemisphere, which flips instead of counting).
  static int Maximum(int control);
  // Left and right: the previous or next field, wrapping 1002 <-> 1013.
  static int PreviousControl(int control);
  static int NextControl(int control);

  // Text of a numeric field; empty for a hemisphere or an unknown control.
  const std::string& Text(int control) const;
  // First visible line of a hemisphere edit: 0 east or north, 1 west or south.
  int HemisphereLine(int control) const;

  // A field got the focus: its group becomes the selected group and its
  // position that group's selected index.
  void Focus(int control);
  int SelectedGroup() const { return selectedGroup_; }
  int SelectedIndex(int group) const { return selectedIndex_[group - 1]; }
  int SelectedControl() const { return ControlOf(selectedGroup_, SelectedIndex(selectedGroup_)); }

  // Up (+1) or down (-1) on the selected field: a hemisphere flips, a number
  // wraps around past its maximum to 0 and below 0 to its maximum. Marks the
  // site edited.
  void Step(int delta);
  // The user typed into a numeric field. Marks the site edited.
  void SetText(int control, const std::string& text);

  bool Edited() const { return edited_; }
  void SetEdited(bool edited) { edited_ = edited; }

  // The site the fields describe (see FromDms for the angles).
  double Longitude() const;
  double Latitude() const;
  int Elevation() const;

 private:
  int FieldValue(int control) const { return ParseFieldInt(Text(control)); }
  void SetNumber(int control, int value);

  std::array<std::string, 12> texts_;
  std::array<int, 2> hemisphereLine_{0, 0};
  int selectedGroup_ = 1;
  std::array<int, 3> selectedIndex_{0, 0, 0};
  bool edited_ = false;
};

}  // namespace location
