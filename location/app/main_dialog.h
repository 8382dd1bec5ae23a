// The main dialog: the site as degrees, minutes and seconds with
// hemispheres and the elevation as four digits, the site-name line, and the
// buttons that open the city picker and the GPS page, apply and go back.
// The rules live in SiteController; this class lays out, paints and forwards
// keys and clicks.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <map>
#include <memory>
#include <sstream>

#include "location/app/city_picker.h"
#include "location/app/gps_page.h"
#include "location/app/hemisphere_edit.h"
#include "location/app/owner_drawn_button.h"
#include "location/app/resources.h"
#include "location/app/theme.h"
#include "location/core/city_picker_model.h"
#include "location/core/site_controller.h"

namespace location {

struct MainDialogServices {
  Resources& resources;
  SettingsStore& settings;
  Broadcaster& broadcaster;
  gps::ClockService& clock;
  std::string gpsDevice;  // the GPS receiver's serial device
  UiLanguage language;
  bool embedded;  // the hand-held's full-screen layout
};

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MainDialog(const MainDialogServices& services, QWidget* parent = nullptr);
  ~MainDialog() override;

  // What the keys and buttons do.
  void Apply();
  void Back();
  void OpenCityPicker();
  void OpenGpsPage();
  void Step(int delta);

  SiteController& Controller() { return controller_; }
  CityPicker* Picker() const { return picker_; }
  GpsPage* Gps() const { return gps_; }
  QWidget* Control(int id) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Returns true when the key was one of the dialog's.
  bool HandleKey(int key);
  void ShowFields();
  void ShowSiteName();
  QRect PageRect() const;

  MainDialogServices services_;
  Theme theme_;
  std::ostringstream errors_;  // flushed to stderr after each apply
  CityPickerModel pickerModel_;
  SiteController controller_;
  QPixmap picture_;
  std::map<int, QLineEdit*> fields_;
  HemisphereEdit* hemispheres_[2];
  QLabel* groupLabels_[4];
  QLabel* siteName_;
  std::map<int, OwnerDrawnButton*> buttons_;
  QTimer* repeat_[2];  // up (1003) and down (1004) while the button is held
  CityPicker* picker_ = nullptr;
  GpsPage* gps_ = nullptr;
};

}  // namespace location
