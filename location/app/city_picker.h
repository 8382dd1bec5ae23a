// The city picker page: region, country and city lists over the page's
// picture, and an apply button. It shows and changes the picker model; the
// main dialog applies the candidate and saves the selection.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include "location/app/owner_drawn_button.h"
#include "location/app/resources.h"
#include "location/app/theme.h"
#include "location/core/city_picker_model.h"

namespace location {

class CityPicker : public QWidget {
  Q_OBJECT

 public:
  CityPicker(CityPickerModel& model, Resources& resources, UiLanguage language, Look look,
             QWidget* parent);
  // Fills the lists from the model, on its current positions.
  void Reload();
  QComboBox* RegionList() const { return lists_[0]; }
  QComboBox* CountryList() const { return lists_[1]; }
  QComboBox* CityList() const { return lists_[2]; }
  OwnerDrawnButton* ApplyButton() const { return apply_; }

 signals:
  // Return or the apply button: the main dialog applies.
  void applyRequested();
  // Escape: the main dialog goes back.
  void backRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fill(QComboBox* list, const std::vector<std::string>& entries, int current);
  void Changed();

  CityPickerModel& model_;
  QPixmap picture_;
  QLabel* labels_[3];
  QComboBox* lists_[3];
  OwnerDrawnButton* apply_;
};

}  // namespace location
