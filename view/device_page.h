// A device page on screen: DevicePage builds the widgets of a page's declaration (in dialog
// units, each control with its id and a name a screen reader says) and is the adapter between
// them and the page's runner: a click hands the runner what the controls hold now, and the
// runner's reports fill the fields, choose list entries, enable controls and show boxes. What
// a page does on the line is the runner's; what it looks like is the declaration's.
#pragma once

#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/page_model.h"
#include "device/page_runner.h"
#include "view/app_context.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tamsu {

class DevicePage : public QWidget, private PageOutput {
  Q_OBJECT

 public:
  // Builds every control of `declaration`; a page without rows shows only the web address.
  DevicePage(AppContext& context, PageDeclaration declaration, QWidget* parent = nullptr);
  ~DevicePage() override;

  QString Name() const { return objectName(); }
  const PageDeclaration& Declaration() const { return declaration_; }
  bool RealTimeTicked() const;
  // True from the moment a poll is handed to the line until its reports were applied, message
  // boxes included: the dispatcher does not poll a page again meanwhile, so a silent device
  // keeps one box open, not one a second.
  bool PollRunning() const { return pollsInFlight_ > 0; }

  // One pass of the page's live reads (timer 5, visible page, box ticked), handed to the line's
  // thread; Polled() tells when its reports were applied.
  void RealTimePoll();

  QLineEdit* Edit(int id) const;
  QComboBox* List(int id) const;  // the field of a row with choices
  QPushButton* Button(int id) const;
  QCheckBox* RealTimeCheckBox() const { return realTimeBox_; }
  QComboBox* SelectorBox(int id) const;
  // The entry chosen in a selector (its list text, never what is typed into an editable one).
  QString CurrentEntry(int selector) const;

  static QString WebAddress();

  // What the controls hold now, as the runner is handed it.
  PageInputs Inputs() const;
  // Every visible field, in the order the page shows them: its selectors, then its rows; each
  // with where its text came from.
  std::vector<FieldReading> Readings() const;

 signals:
  // A real-time poll has filled (or emptied) the page's fields.
  void Polled();

 protected:
  // After the reads of a press or a poll, for a page that shows more than its fields.
  virtual void Updated() {}
  // Room above the rows for a page's own controls (e.g. an icon and a name).
  QVBoxLayout* HeaderLayout() const { return header_; }
  // Gives a control its id (objectName and "id:NNNN") and its accessible name.
  static void Identify(QWidget* widget, int id, const QString& accessibleName);

 private:
  struct RowWidgets;
  class LineSide;

  // Hands a run of the page's line-side runner to the line's thread with what the controls
  // hold now; its reports come back to the controls in order. `reads`: it reads fields (an
  // "Inquire", a poll), so the page shows more than its fields anew once it is over.
  // `run` returns false when it stopped before its last exchange. A user's job names the
  // fields it `touches`: reports made before it no longer reach them.
  void Post(const QString& what, LineWorker::Kind kind, std::function<bool(PageRunner&, const PageInputs&)> run,
            bool reads = true, const std::vector<int>& touches = {});
  // The job is over and everything it reported was applied (`read`: it ran and read fields;
  // false for a poll dropped before it ran; `whole`: it made every exchange it had, and the
  // page did not move on under it).
  void Finished(bool poll, bool read, bool whole, uint64_t made);
  // The fields a button reads (an "Inquire") or writes.
  std::vector<int> FieldsOf(int button, bool inquire) const;
  // The page moved on for these fields (every field: none given): what a job made before now
  // is not applied to them.
  void Touch(const std::vector<int>& fields = {});
  // True when a report a job made at `made` may still change field `id`.
  bool Current(int id, uint64_t made) const;
  QString Doing(const char* verb, int button, bool inquire) const;

  // What the runner reports, applied to the controls.
  void FieldEmptied(int id) override;
  void FieldFilled(int id, const std::string& text) override;
  void EntryChosen(int list, int index) override;
  void ControlEnabled(int id, bool enabled) override;
  void BoxTicked(bool ticked) override;
  void FieldOutcome(int id, const FieldState& state) override;

  void Build();
  void BuildRow(size_t index, QSet<int>& ids);
  QVBoxLayout* Column(int column);
  QHBoxLayout* BandOf(int column);
  size_t BandIndex(int column) const;
  void OrderTabs();
  QGridLayout* ColumnGrid(int column);
  void Typed(int id);
  void Refresh();

  AppContext& context_;
  PageDeclaration declaration_;
  PageModel model_{declaration_};
  // Window thread: the real-time box, the selectors and the enabled states (no exchange).
  std::unique_ptr<PageRunner> runner_;
  // The line's thread: every exchange. Shared with the jobs, which may outlive the page.
  std::shared_ptr<LineSide> lineSide_;
  std::vector<std::unique_ptr<RowWidgets>> rowWidgets_;
  std::map<int, QWidget*> controls_;  // by id: fields, lists, buttons, selectors
  QVBoxLayout* bandsBox_ = nullptr;
  std::vector<QHBoxLayout*> bands_;
  std::vector<QVBoxLayout*> columns_;
  std::vector<int> firstRowLines_;  // per column, the grid line of its rows' line 0
  QCheckBox* realTimeBox_ = nullptr;
  QVBoxLayout* header_ = nullptr;
  FieldStates states_;
  int pollsInFlight_ = 0;
  // Window thread: the page's state counts up each time it moves on (a selector's change, the
  // box unticked, a user's job); per field, the count at which it last did.
  uint64_t epoch_ = 0;
  std::map<int, uint64_t> touched_;
};

// The view of a page: its own class where a page shows more than its declaration (the wind
// direction's name and compass), else a DevicePage.
DevicePage* CreatePage(AppContext& context, const PageDeclaration& declaration, QWidget* parent = nullptr);

}  // namespace tamsu
