// "Survey line…": which transmitters answer on the line, at which addresses and rates, found
// by a survey on the line's thread while the window goes on. A row's "Use" hands its address
// and rate to the connection band.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "device/survey.h"
#include "view/app_context.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tamsu {

inline constexpr char kSurveyMenuText[] = "Survey line\u2026";

class SurveyWindow : public QWidget {
  Q_OBJECT

 public:
  // `portPath`: the port the band has chosen, asked at each Start. `use`: a row's "Use", with
  // the port the survey ran on.
  using Use = std::function<void(const std::string& path, int address, uint32_t baud)>;
  SurveyWindow(AppContext& context, std::function<std::string()> portPath, Use use, QWidget* parent = nullptr);
  ~SurveyWindow() override;

  // The plan the controls hold (they allow no other than a valid one).
  SurveyPlan Plan() const;
  void Start();
  // Ends the survey after its exchange in flight; what was found stays.
  void Stop();
  bool Running() const { return running_ != nullptr; }
  // "Use" on the selected row.
  void UseSelected();
  QTableWidget* Table() const { return table_; }

 signals:
  // The survey ended, however it ended (tests, the screenshots).
  void Finished();

 protected:
  // Closing the window ends its survey, as Stop does.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Found(const SurveyFinding& finding);
  void Configured(const SurveyFinding& finding);
  void Progress(const SurveyProgress& progress);
  void Ended(SurveyOutcome outcome, const std::string& message);
  void UpdateControls();

  AppContext& context_;
  std::function<std::string()> portPath_;
  Use use_;
  std::string path_;  // the port of the last survey
  std::shared_ptr<std::atomic<bool>> running_;  // the running survey's stop flag
  std::map<std::pair<int, uint32_t>, int> rows_;
  int found_ = 0, conflicts_ = 0;

  std::vector<std::pair<uint32_t, QCheckBox*>> rates_;
  QSpinBox* from_ = nullptr;
  QSpinBox* to_ = nullptr;
  QSpinBox* wait_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* useButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* summary_ = nullptr;
};

}  // namespace tamsu
