// A device page is declared, not hand-wired: it lists its rows (caption, unit, control ids, the
// read and the write of each), its real-time box, its selector lists and what their entries do,
// its notices and its poll; DevicePage builds the widgets, wires the buttons and runs the polls.
// What is truly particular to one page is an override of one of the virtual steps below.
#pragma once

#include <QLineEdit>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/framework/app_context.h"
#include "modbus/messages.h"
#include "modbus/modbus_master.h"
#include "modbus/representation.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tamsu {

// How a row's "Inquire" reads its field: the register, how the value is shown, the words a
// failure is reported in, and whether a failure empties the field.
struct ReadOp {
  uint16_t reg = 0;
  Representation shown{};
  const ReadMessages* messages = nullptr;  // nullptr: nothing to read
  bool keep = false;                       // a failed read leaves the field's text in place

  explicit operator bool() const { return messages != nullptr; }
  // In a page's own words.
  ReadOp Says(const ReadMessages& words) const {
    ReadOp op = *this;
    op.messages = &words;
    return op;
  }
  // The product formed in single precision, as some devices' own tools compute it.
  ReadOp Single() const {
    ReadOp op = *this;
    op.shown.single = true;
    return op;
  }
};

// The declarations a page table reads like; each in the words of the Show operation it is.
ReadOp Unsigned(uint16_t reg);                                   // ShowRegister
ReadOp UnsignedNoClear(uint16_t reg);                            // ShowRegisterNoClear
ReadOp Unsigned32(uint16_t reg);                                 // ShowRegister32
ReadOp Float32(uint16_t reg, int decimals = -1);                 // ShowFloatRegister ("%f", or 0..3 decimals)
ReadOp Signed(uint16_t reg, double scale, int decimals);         // ShowScaledSigned
ReadOp UnsignedScaled(uint16_t reg, double scale, int decimals); // ShowScaled
ReadOp Status(uint16_t reg, uint16_t normalCode, uint16_t warningCode);  // ShowStatusRegister
// A code shown as its text ("err" for any other), and a version as high.low byte.
ReadOp Codes(uint16_t reg, std::vector<std::pair<uint16_t, std::string>> codes);
ReadOp Version(uint16_t reg);

// What a row's "Set up" (or command button) writes.
struct WriteOp {
  enum Kind {
    None,
    Int,       // the field as an unsigned integer (WriteFieldInt)
    Scaled,    // the field times `multiplier`, truncated, 16 bits (WriteFieldScaled)
    Scaled32,  // the same over two registers (WriteFieldScaled32)
    Float,     // the field as a single over two registers (WriteFieldFloat)
    Fixed,     // `value`, whatever the field holds: a command
    Choice,    // the value of the list entry chosen (to its own register if it names one)
    Pair,      // two registers: `value`, then the field times `multiplier`, truncated, 16 bits
  };
  enum class Refuse : uint8_t {
    Never,
    Zero,       // a field whose number is 0 (or no number) is refused, nothing is sent
    ZeroLow16,  // the same when the low 16 bits of what would be written are 0
  };
  Kind kind = None;
  uint16_t reg = 0;
  int multiplier = 1;
  uint16_t value = 0;
  Refuse refuse = Refuse::Never;
  const WriteMessages* messages = &kFieldWriteMessages;

  explicit operator bool() const { return kind != None; }
  WriteOp Says(const WriteMessages& words) const {
    WriteOp op = *this;
    op.messages = &words;
    return op;
  }
  WriteOp Refusing(Refuse rule) const {
    WriteOp op = *this;
    op.refuse = rule;
    return op;
  }
};

inline WriteOp WriteInt(uint16_t reg) { return {WriteOp::Int, reg}; }
inline WriteOp WriteScaled(uint16_t reg, int multiplier) { return {WriteOp::Scaled, reg, multiplier}; }
inline WriteOp WriteScaled32(uint16_t reg, int multiplier) { return {WriteOp::Scaled32, reg, multiplier}; }
inline WriteOp WriteFloat(uint16_t reg) { return {WriteOp::Float, reg}; }
inline WriteOp WriteFixed(uint16_t reg, uint16_t value) { return {WriteOp::Fixed, reg, 1, value}; }
inline WriteOp WriteChoice(uint16_t reg) { return {WriteOp::Choice, reg}; }
inline WriteOp WritePair(uint16_t reg, uint16_t first, int multiplier) {
  return {WriteOp::Pair, reg, multiplier, first};
}

// A representation that follows a selector: while one of `entries` is chosen, the row reads
// (and writes) this way instead. Decided anew at every press and poll.
struct Variant {
  int selector = 0;
  QStringList entries{};
  ReadOp read{};    // empty: the row's own
  WriteOp write{};  // None: the row's own
};

// An entry of a row shown as a drop-down list: the value it stands for on the device, and the
// register it is written to when that is not the row's.
struct Choice {
  QString text{};
  uint16_t value = 0;
  int reg = -1;
};

// One line of a page: caption, field, unit, "Inquire", optional "Set up".
// Rows that share an "Inquire" id are read by one button, in row order: it sits on the first of
// them, or on the one marked buttonHere, or on a line of its own (a row with no field).
struct Row {
  QString caption{};
  QString unit{};
  int edit = 0;      // the field (an edit, or a list when `choices` are given); 0: no field
  int inquire = 0;   // 0: no "Inquire" button
  ReadOp read{};
  int setup = 0;     // 0: no "Set up" button
  WriteOp write{};
  QString inquireText = QStringLiteral("Inquire");
  QString setupText = QStringLiteral("Set up");
  std::vector<Variant> variants{};
  std::vector<Choice> choices{};
  bool unknownClears = false;  // a value no entry stands for leaves the list without a selection
  // Other fields filled from the same value when the read succeeds (they keep their text when
  // it fails).
  std::vector<std::pair<int, Representation>> alsoShows{};
  bool hidden = false;    // created invisible, never shown
  bool readOnly = false;
  int column = 0;         // pages with side-by-side blocks
  bool showErrors = true; // of its "Inquire" (a few reads are silent)
  bool buttonHere = false;
  // Its "Inquire" first tests the port: closed, it says the real-time box's words and sends
  // nothing, leaving the field as it is.
  bool testsPort = false;
  QString name{};  // the accessible name, where caption and unit do not say what the field is
  // Its line among its column's rows (0: the first, below any heading), where a page lays its
  // fields out in another order than it reads them (a grid); -1: after the rows before it.
  int line = -1;
};

struct RealTimeBox {
  enum class Locks : uint8_t {
    Buttons,  // every "Inquire" and "Set up" of the page
    Listed,   // the controls in `disables`
    Nothing,
  };
  int id = 0;  // 0: the page has no box
  QString caption = QStringLiteral("Real Time");
  bool testsPort = true;  // clicking it with the port closed unticks it again and says so
  std::string message = "Please open the serial port first!";
  std::string messageCaption = "Warning";
  MessageIcon icon = MessageIcon::Exclamation;
  Locks locks = Locks::Buttons;  // Listed when `disables` is given
  std::vector<int> disables{};
  int column = 0;
  int after = 0;  // the edit id of the row it follows; 0: below the rows of its column
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

// What choosing one of `entries` in a selector does: the `blank` fields get a single blank
// (once, when chosen), the `disable` controls stay disabled while it is chosen, and the poll
// leaves out the `skipPoll` fields.
struct SelectorEffect {
  int selector = 0;
  QStringList entries{};
  std::vector<int> blank{};
  std::vector<int> disable{};
  std::vector<int> skipPoll{};
};

// A framed text beside the fields.
struct Notice {
  QString heading{};
  QString text{};
  int column = 1;
};

// A text above a column of rows.
struct Heading {
  QString text{};
  int column = 0;
};

// A poll made of one request for a block of registers, whose answer fills several fields. A
// failed answer empties all of them, silently.
struct BlockField {
  int edit = 0;
  uint16_t offset = 0;  // the field's register within the block (two for 32-bit values)
  Representation shown{};
};
struct BlockPoll {
  uint16_t start = 0;
  uint16_t count = 0;  // 0: the page polls row by row
  std::chrono::milliseconds replyWait = Link::kReplyWait;
  std::vector<BlockField> fields{};
};

// Sizes in dialog units; pages with many columns draw narrower fields.
struct PageMetrics {
  int editWidth = 56;
  int columnGap = 14;
  int buttonWidth = 0;  // 0: as wide as the style draws it; else this, or its caption's width if more
};

struct PageDeclaration {
  QString name{};  // the page's class name; also its objectName
  std::vector<Selector> selectors{};
  std::vector<Heading> headings{};
  std::vector<Row> rows{};
  RealTimeBox realTime{};
  std::vector<SelectorEffect> effects{};
  std::vector<Notice> notices{};
  std::vector<int> poll{};  // edit ids read by RealTimePoll, in order
  bool pollShowsErrors = false;
  BlockPoll block{};
  PageMetrics metrics{};
  // Blocks of columns above one another (a measured block above its calibrations): how many
  // columns each band holds, top to bottom; columns past the last band join it. Empty: every
  // column side by side.
  std::vector<int> bands{};
};

// What one field of a page shows now, for whatever reports a page's state (a record, a trend).
struct FieldReading {
  int id = 0;            // the field's id (an edit, a list or a selector)
  QString caption{};     // the row's caption without its colon; a row without one, that of its "Inquire"
  QString unit{};
  QString text{};        // the field's text; for a list or selector, the entry chosen ("" for none)
  bool numeric = false;  // it is filled with a number, not a code, a text or a list entry
  bool polled = false;   // the real-time poll fills it, with the entries chosen now
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

// A refused input says so in these words.
inline constexpr char kEmptyInputText[] = "Input content cannot be empty";

class DevicePage : public QWidget {
  Q_OBJECT

 public:
  // Builds every control of `declaration`; a page without rows shows only the web address.
  DevicePage(AppContext& context, PageDeclaration declaration, QWidget* parent = nullptr);
  ~DevicePage() override;

  const QString& Name() const { return declaration_.name; }
  const PageDeclaration& Declaration() const { return declaration_; }
  bool RealTimeTicked() const;
  // True from the start of a poll until it has finished, message boxes included: the
  // dispatcher does not poll a page again meanwhile, so a silent device keeps one box open,
  // not one a second.
  bool PollRunning() const { return pollDepth_ > 0; }

  // One pass of the page's live reads (timer 5, visible page, box ticked).
  void RealTimePoll();

  QLineEdit* Edit(int id) const;
  QComboBox* List(int id) const;  // the field of a row with choices
  QPushButton* Button(int id) const;
  QCheckBox* RealTimeCheckBox() const { return realTimeBox_; }
  QComboBox* SelectorBox(int id) const;
  // The entry chosen in a selector (its list text, never what is typed into an editable one).
  QString CurrentEntry(int selector) const;

  static QString WebAddress();

  // Every visible field, in the order the page shows them: its selectors, then its rows.
  std::vector<FieldReading> Readings() const;

 signals:
  // A real-time poll has filled (or emptied) the page's fields.
  void Polled();

 protected:
  // The reads of one "Inquire" button (its own row and the rows that share it).
  virtual void Inquire(int button, bool showErrors);
  virtual void SetUp(int button);
  // The poll's body; by default the declared block or row reads in order.
  virtual void Poll(bool showErrors);
  // The read or write a row performs now: its variant for the entries chosen, or its own.
  virtual ReadOp ReadFor(const Row& row) const;
  virtual WriteOp WriteFor(const Row& row) const;
  // The real-time box was clicked by the user.
  virtual void RealTimeClicked();
  // A selector's entry changed: blanks what the entry blanks, then Refresh().
  virtual void SelectorChanged(int id);
  // Enables every control unless the ticked box or a chosen entry disables it.
  void Refresh();

  // One read into one field; the result of the read.
  uint8_t ReadInto(int editId, bool showErrors);

  ModbusMaster& Master() { return master_; }
  MessageSink& Messages() { return context_.messages; }
  Link& GetLink() { return context_.link; }
  const Row* RowOfEdit(int editId) const;
  // Room above the rows for a page's own controls (e.g. an icon and a name).
  QVBoxLayout* HeaderLayout() const { return header_; }
  // Gives a control its id (objectName and "id:NNNN") and its accessible name.
  static void Identify(QWidget* widget, int id, const QString& accessibleName);

 private:
  struct RowWidgets;

  void Build();
  void BuildRow(size_t index, QSet<int>& ids);
  QVBoxLayout* Column(int column);
  QHBoxLayout* BandOf(int column);
  size_t BandIndex(int column) const;
  void OrderTabs();
  QGridLayout* ColumnGrid(int column);
  QString RowCaption(size_t index) const;
  QString RowName(size_t index) const;
  bool EntryChosen(int selector, const QStringList& entries) const;
  bool Skipped(int editId) const;
  uint8_t ReadRow(size_t index, bool showErrors);
  uint8_t WriteRow(size_t index);
  void BlockRead();

  AppContext& context_;
  PageDeclaration declaration_;
  ModbusMaster master_;
  std::vector<std::unique_ptr<RowWidgets>> rowWidgets_;
  QVBoxLayout* bandsBox_ = nullptr;
  std::vector<QHBoxLayout*> bands_;
  std::vector<QVBoxLayout*> columns_;
  std::vector<int> firstRowLines_;  // per column, the grid line of its rows' line 0
  std::vector<QPushButton*> buttons_;  // every "Inquire" and "Set up", in row order
  QCheckBox* realTimeBox_ = nullptr;
  QVBoxLayout* header_ = nullptr;
  int pollDepth_ = 0;
};

}  // namespace tamsu
