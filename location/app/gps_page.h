// The GPS page: four text lines over the page's picture, the connect button
// and the apply button. It shows the page model and carries the worker's
// reports over to its own thread.
#pragma once

#include <QLabel>
#include <QWidget>
#include <memory>

#include "location/app/owner_drawn_button.h"
#include "location/app/resources.h"
#include "location/app/theme.h"
#include "location/core/gps/gps_page_model.h"
#include "location/core/gps/gps_reader.h"

namespace location {

class GpsPage : public QWidget, private gps::GpsListener {
  Q_OBJECT

 public:
  GpsPage(Resources& resources, UiLanguage language, Look look, gps::ClockService& clock,
          const std::string& devicePath, QWidget* parent);
  // Stops the reader and waits for its worker.
  ~GpsPage() override;

  // Escape while the page shows: stop a running reader, then hide.
  void Close();
  gps::GpsPageModel& Model() { return model_; }
  gps::GpsReader& Reader() { return reader_; }
  OwnerDrawnButton* ConnectButton() const { return connect_; }
  OwnerDrawnButton* ApplyButton() const { return apply_; }

 signals:
  void applyRequested();
  void backRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Worker reports (on the worker's thread), queued to this page's thread.
  void OnSatellites(int worker, int count) override;
  void OnPosition(int worker, double longitude, double latitude) override;
  void OnLocated(int worker) override;
  void OnTime(int worker, const gps::GpsTime& utc) override;
  void OnProbeFailed(int worker) override;
  void OnFinished(int worker) override;
  template <typename F>
  void Post(F change);
  void Render();

  gps::GpsReader reader_;
  gps::GpsPageModel model_;
  QPixmap picture_;
  QLabel* lines_[4];
  OwnerDrawnButton* connect_;
  OwnerDrawnButton* apply_;
};

}  // namespace location
