// A device page is declared, not hand-wired: it lists its rows (caption, unit, control ids, the
// read and the write of each), its real-time box, its selector lists, its notices and its poll;
// DevicePage builds the widgets, wires the buttons and runs the polls. What is truly particular
// to one page is an override of one of the virtual steps below.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/framework/app_context.h"
#include "modbus/modbus_master.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tamsu {

// Which Show operation of ModbusMaster fills a field, with its arguments.
struct ReadOp {
  enum Kind { None, Register, RegisterNoClear, Status, Scaled, ScaledSigned, Register32, Float };
  Kind kind = None;
  uint16_t reg = 0;
  double scale = 1.0;
  int decimals = 0;
  uint16_t normalCode = 0;   // Status only
  uint16_t warningCode = 0;  // Status only
};

// The declarations a page table reads like.
inline ReadOp Unsigned(uint16_t reg) { return {ReadOp::Register, reg}; }
inline ReadOp UnsignedNoClear(uint16_t reg) { return {ReadOp::RegisterNoClear, reg}; }
inline ReadOp Unsigned32(uint16_t reg) { return {ReadOp::Register32, reg}; }
inline ReadOp Float32(uint16_t reg) { return {ReadOp::Float, reg}; }
inline ReadOp Signed(uint16_t reg, double scale, int decimals) {
  return {ReadOp::ScaledSigned, reg, scale, decimals};
}
inline ReadOp UnsignedScaled(uint16_t reg, double scale, int decimals) {
  return {ReadOp::Scaled, reg, scale, decimals};
}
inline ReadOp Status(uint16_t reg, uint16_t normalCode, uint16_t warningCode) {
  return {ReadOp::Status, reg, 1.0, 0, normalCode, warningCode};
}

// Which field write of ModbusMaster a "Set up" runs.
struct WriteOp {
  enum Kind { None, Int, Scaled, Scaled32, Float };
  Kind kind = None;
  uint16_t reg = 0;
  int multiplier = 1;  // Scaled and Scaled32
};

inline WriteOp WriteInt(uint16_t reg) { return {WriteOp::Int, reg}; }
inline WriteOp WriteScaled(uint16_t reg, int multiplier) { return {WriteOp::Scaled, reg, multiplier}; }
inline WriteOp WriteScaled32(uint16_t reg, int multiplier) { return {WriteOp::Scaled32, reg, multiplier}; }
inline WriteOp WriteFloat(uint16_t reg) { return {WriteOp::Float, reg}; }

// One line of a page: caption, edit, unit, "Inquire", optional "Set up".
// A row whose inquire id repeats that of an earlier row gets no button of its own: the earlier
// row's button reads both fields, in row order.
struct Row {
  QString caption{};
  QString unit{};
  int edit = 0;
  int inquire = 0;  // 0: no "Inquire" button
  ReadOp read{};
  int setup = 0;    // 0: no "Set up" button
  WriteOp write{};
  bool hidden = false;    // created invisible, never shown
  bool readOnly = false;
  int column = 0;         // pages with side-by-side blocks
  bool showErrors = true; // of its "Inquire" (a few buttons read silently)
};

struct RealTimeBox {
  int id = 0;  // 0: the page has no box
  QString caption = QStringLiteral("Real Time");
  bool testsPort = true;  // clicking it with the port closed unticks it again and says so
  std::string message = "Please open the serial port first!";
  std::string messageCaption = "Warning";
  MessageIcon icon = MessageIcon::Exclamation;
  // The buttons disabled while ticked; empty means every "Inquire" and "Set up" of the page.
  std::vector<int> disables{};
  int column = 0;
};

// A drop-down list captioned beside it (e.g. "Sensor Type").
struct Selector {
  int id = 0;
  QString caption{};
  QStringList items{};
  int selected = -1;   // set at start without a change notification
  bool editable = false;
  bool sorted = false;
  int column = 0;
};

// A framed text beside the fields.
struct Notice {
  QString heading{};
  QString text{};
  int column = 1;
};

struct PageDeclaration {
  QString name{};  // the page's class name; also its objectName
  std::vector<Selector> selectors{};
  std::vector<Row> rows{};
  RealTimeBox realTime{};
  std::vector<Notice> notices{};
  std::vector<int> poll{};  // edit ids read by RealTimePoll, in order
  bool pollShowsErrors = false;
};

// The seam between a QLineEdit and the Show operations and field writes.
class LineEditField : public EditField {
 public:
  explicit LineEditField(QLineEdit* edit) : edit_(edit) {}
  std::string GetText() const override { return edit_->text().toStdString(); }
  void SetText(const std::string& text) override { edit_->setText(QString::fromStdString(text)); }

 private:
  QLineEdit* edit_;
};

class DevicePage : public QWidget {
  Q_OBJECT

 public:
  // Builds every control of `declaration`; a page without rows shows only the web address.
  DevicePage(AppContext& context, PageDeclaration declaration, QWidget* parent = nullptr);
  ~DevicePage() override;

  const QString& Name() const { return declaration_.name; }
  bool RealTimeTicked() const;
  // True from the start of a poll until it has finished, message boxes included: the
  // dispatcher does not poll a page again meanwhile, so a silent device keeps one box open,
  // not one a second.
  bool PollRunning() const { return pollDepth_ > 0; }

  // One pass of the page's live reads (timer 5, visible page, box ticked).
  void RealTimePoll();

  QLineEdit* Edit(int id) const;
  QPushButton* Button(int id) const;
  QCheckBox* RealTimeCheckBox() const { return realTimeBox_; }
  QComboBox* SelectorBox(int id) const;

  static QString WebAddress();

 protected:
  // The reads of one "Inquire" button (its own row and the rows that share it).
  virtual void Inquire(int button, bool showErrors);
  virtual void SetUp(int button);
  // The poll's body; by default the declared reads in order.
  virtual void Poll(bool showErrors);
  // The read or write a row performs now; pages whose representation follows their state
  // override these.
  virtual ReadOp ReadFor(const Row& row) const { return row.read; }
  virtual WriteOp WriteFor(const Row& row) const { return row.write; }
  // The real-time box was clicked by the user.
  virtual void RealTimeClicked();
  // Enables or disables what the box locks while ticked.
  virtual void LockForRealTime(bool ticked);
  virtual void SelectorChanged(int /*id*/) {}

  // One read into one field; the result of the Show operation.
  uint8_t ReadInto(int editId, bool showErrors);
  uint8_t RunRead(const ReadOp& op, EditField& field, bool showErrors);
  uint8_t RunWrite(const WriteOp& op, EditField& field);

  ModbusMaster& Master() { return master_; }
  MessageSink& Messages() { return context_.messages; }
  Link& GetLink() { return context_.link; }
  const PageDeclaration& Declaration() const { return declaration_; }
  const Row* RowOfEdit(int editId) const;
  // Room above the rows for a page's own controls (e.g. an icon and a name).
  QVBoxLayout* HeaderLayout() const { return header_; }
  // Gives a control its id (objectName and "id:NNNN") and its accessible name.
  static void Identify(QWidget* widget, int id, const QString& accessibleName);

 private:
  struct RowWidgets;

  void Build();
  QVBoxLayout* Column(int column);
  QGridLayout* ColumnGrid(int column);
  QString RowName(size_t index) const;

  AppContext& context_;
  PageDeclaration declaration_;
  ModbusMaster master_;
  std::vector<std::unique_ptr<RowWidgets>> rowWidgets_;
  QHBoxLayout* columnsRow_ = nullptr;
  std::vector<QVBoxLayout*> columns_;
  std::vector<QPushButton*> buttons_;  // every "Inquire" and "Set up", in row order
  QCheckBox* realTimeBox_ = nullptr;
  QVBoxLayout* header_ = nullptr;
  int pollDepth_ = 0;
};

}  // namespace tamsu
