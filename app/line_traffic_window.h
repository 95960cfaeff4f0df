// "Line traffic": a window beside the main window that lists every frame the tool sends and
// receives and what it made of each, newest at the bottom, from the line's record. It pulls
// new lines on a short timer while it is shown, so the exchanges themselves never wait for it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstdint>

#include "modbus/line_record.h"

class QListView;
class QPushButton;
class QTimer;

namespace tamsu {

class LineListModel;

class LineTrafficWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LineTrafficWindow(LineRecord& record, QWidget* parent = nullptr);
  ~LineTrafficWindow() override;

  // Takes the lines recorded since the last call (nothing while paused).
  void Refresh();
  void SetPaused(bool paused);
  bool Paused() const;
  void Clear();
  // The lines the window shows, oldest first.
  QStringList Lines() const;
  // The selected lines, or all of them when none is selected, to the clipboard.
  void Copy();
  // Writes exactly what the window shows, one line each, UTF-8, whole or not at all. False with
  // why when the file cannot be written.
  bool SaveTo(const QString& path, QString* error = nullptr) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void AskAndSave();

  LineRecord& record_;
  LineListModel* model_;
  QListView* view_;
  QPushButton* pause_;
  QTimer* timer_;
  uint64_t shown_ = 0;  // the last line taken from the record
};

}  // namespace tamsu
