// The one window of the tool: the connection band (port list, scan, device address and baud
// rate) above the fifteen category tabs, and the two timers that drive the pages.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "view/app_context.h"
#include "device/baud_scan.h"
#include "device/device_settings.h"
#include "modbus/line_record.h"
#include "modbus/modbus_master.h"
#include "view/line_thread.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tamsu {

class CategorySet;
class LineTrafficWindow;
class SurveyWindow;
class TrendWindow;
struct CommissioningRecord;

inline constexpr char kAboutMenuText[] = "Tamsu Tools Configuration Software(&A)...";

// The drop-down port list; it asks for a refill each time its pop-up opens, so a port plugged
// in after start shows up without a restart.
class PortListBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  std::function<void()> beforePopup;
  void showPopup() override;
};

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Handlers, public so tests can drive them the way the buttons do. The exchanges run on the
  // line's thread: each returns at once, and what comes back is applied later by the window.
  void RefreshPortList();
  void TestBaudRate();
  void InquireDevice();
  void SetDeviceAddress();
  void SetDeviceBaud();
  // Esc and "Stop": the user's running job (an "Inquire" sequence, the scan) stops after its
  // exchange in flight.
  void StopLine();
  // How the last scan ended, once the window has heard it (tests, the record).
  std::optional<ScanOutcome> LastScan() const { return lastScan_; }
  void ShowAbout();
  // The user picked port list entry `index`; "Network port…" asks for an address.
  void PortActivated(int index);
  // "Line traffic": opens (or brings forward) the window of the line's record.
  LineTrafficWindow* ShowLineTraffic();
  LineRecord& Traffic() { return traffic_; }
  // "Trend" opens the trend window; "Save record…" asks for a file and writes the shown page's
  // record to it. SaveRecordTo writes without asking (false, with a message box, on failure).
  void ShowTrend();
  void SaveRecord();
  bool SaveRecordTo(const QString& path);
  TrendWindow* Trend() const { return trend_; }
  // "Survey line…" opens (or brings forward) the survey of the line's transmitters. A row's
  // "Use" puts its address and rate into the band and opens the port there, as a scan would.
  SurveyWindow* ShowSurvey();
  void UseTransmitter(const std::string& path, int address, uint32_t baud);
  // The shown device page as the tabs name it ("Gas / MG11").
  QString ShownPageCaption() const;

  // What the band's exchanges last learned, as handed back to the window.
  const DeviceConfig& Config() const { return config_; }
  bool InquireLatch() const { return inquireLatch_; }
  CategorySet& Categories() { return *categories_; }
  // The device path of the selected port list entry ("" when the list is empty).
  std::string SelectedPortPath() const;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildBand();
  void BuildCategories();
  void AddLineTrafficAction();
  void EnableDeviceButtons(bool on);
  void ShowPortToolTip(int index);
  void ClearInquireLatch();
  // Runs `exchange` on the line's thread with the band's own state (the configuration the
  // exchanges share, a master); hands back what it learned, and the port it left open.
  using BandExchange = std::function<void(const LineWorker::Token&, DeviceConfig&, ModbusMaster&, MessageSink&)>;
  void PostBand(const QString& what, BandExchange exchange, std::function<void()> after = {});
  void ShowActivity(const QString& what, bool poll);
  bool OwnControlHasFocus() const;
  void AddTrendAndRecordActions();
  void AddSurveyAction();
  int BuildStatusLine();
  void FollowShownPage();
  std::optional<CommissioningRecord> CurrentRecord() const;

  AppContext& context_;
  Link& link_;
  DeviceConfig config_;               // window: as the last exchange handed it back
  std::shared_ptr<DeviceConfig> lineConfig_ = std::make_shared<DeviceConfig>();  // the line's thread only
  std::string heldPort_;             // the port the line holds open, as handed back
  std::optional<ScanOutcome> lastScan_;
  std::unique_ptr<CategorySet> categories_;
  LineRecord traffic_;  // the line's observer while the window lives
  LineTrafficWindow* trafficWindow_ = nullptr;

  PortListBox* portList_ = nullptr;
  QPushButton* testButton_ = nullptr;
  QLineEdit* addressBox_ = nullptr;
  QLineEdit* baudBox_ = nullptr;
  QPushButton* inquireAddress_ = nullptr;
  QPushButton* setAddress_ = nullptr;
  QPushButton* inquireBaud_ = nullptr;
  QPushButton* setBaud_ = nullptr;
  QTabWidget* categoryTabs_ = nullptr;
  QTimer* timer1_ = nullptr;
  QTimer* timer5_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QTimer* busyTimer_ = nullptr;    // a user's wait longer than half a second: busy cursor
  TrendWindow* trend_ = nullptr;
  SurveyWindow* surveyWindow_ = nullptr;
  QLabel* statusText_ = nullptr;  // what the line is doing, at the window's foot
  QString recordFolder_;  // where the last record went, for the next one (this run only)
  std::string typedNetworkPort_;  // the address last given in "Network port…" (this run)
  std::string lastPortPath_;      // the entry to go back to when "Network port…" is cancelled

  bool inquireLatch_ = false;
  bool inquireRunning_ = false;
  std::chrono::steady_clock::time_point inquireEnded_{};
};

// "About Tamsu Tools Configuration Software": icon, name, version line, "Yes".
class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

// The window icon, drawn from the SVG resource.
QIcon AppIcon();

}  // namespace tamsu
