// A device page as data: its rows (caption, unit, control ids, the read and the write of each),
// its real-time box, its selector lists and what their entries do, its notices and its poll.
// Plain C++: the window builds widgets from it, the runner performs it on the line, and the
// command-line tool and the tests use it with no display at all. Layout hints (columns, bands,
// lines, metrics) are plain numbers the view reads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "modbus/messages.h"
#include "modbus/representation.h"
#include "serial/link.h"

namespace tamsu {

using Texts = std::vector<std::string>;

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
  // Takes its value from the field (not a command, not a list entry).
  bool FromField() const { return kind == Int || kind == Scaled || kind == Scaled32 || kind == Float; }
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
  Texts entries{};
  ReadOp read{};    // empty: the row's own
  WriteOp write{};  // None: the row's own
};

// An entry of a row shown as a drop-down list: the value it stands for on the device, and the
// register it is written to when that is not the row's.
struct Choice {
  std::string text{};
  uint16_t value = 0;
  int reg = -1;
};

// One line of a page: caption, field, unit, "Inquire", optional "Set up".
// Rows that share an "Inquire" id are read by one button, in row order: it sits on the first of
// them, or on the one marked buttonHere, or on a line of its own (a row with no field).
struct Row {
  std::string caption{};
  std::string unit{};
  int edit = 0;      // the field (an edit, or a list when `choices` are given); 0: no field
  int inquire = 0;   // 0: no "Inquire" button
  ReadOp read{};
  int setup = 0;     // 0: no "Set up" button
  WriteOp write{};
  std::string inquireText = "Inquire";
  std::string setupText = "Set up";
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
  std::string name{};  // the accessible name, where caption and unit do not say what the field is
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
  std::string caption = "Real Time";
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
  std::string caption{};
  Texts items{};
  int selected = -1;   // set at start without a change notification
  bool editable = false;
  bool sorted = false;  // shown sorted, ignoring case
  int column = 0;
};

// What choosing one of `entries` in a selector does: the `blank` fields get a single blank
// (once, when chosen), the `disable` controls stay disabled while it is chosen, and the poll
// leaves out the `skipPoll` fields.
struct SelectorEffect {
  int selector = 0;
  Texts entries{};
  std::vector<int> blank{};
  std::vector<int> disable{};
  std::vector<int> skipPoll{};
};

// A framed text beside the fields.
struct Notice {
  std::string heading{};
  std::string text{};
  int column = 1;
};

// A text above a column of rows.
struct Heading {
  std::string text{};
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
  std::string name{};  // the page's class name; also its objectName
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

// A refused input says so in these words.
inline constexpr char kEmptyInputText[] = "Input content cannot be empty";

// What the controls of a page hold now, as a value the window copies for the runner: the text
// of every edit, the entry chosen in every list and selector (its index as shown, -1 for
// none), and whether the real-time box is ticked.
struct PageInputs {
  std::map<int, std::string> texts{};
  std::map<int, int> chosen{};
  bool ticked = false;

  std::string Text(int id) const;
  int Chosen(int id) const;
};

// Where the text a field shows now came from: the last exchange that filled or emptied it.
enum class FieldSource : uint8_t { NotRead, Read, Written, ReadFailed, Typed };
// "read", "written", "read failed", "typed, not written", "not read".
const char* SourceText(FieldSource source);

struct FieldState {
  FieldSource source = FieldSource::NotRead;
  std::chrono::system_clock::time_point when{};  // of that exchange; none while not read
};
using FieldStates = std::map<int, FieldState>;

// What one field of a page shows now, for whatever reports a page's state (a record, a trend).
struct FieldReading {
  int id = 0;             // the field's id (an edit, a list or a selector)
  std::string caption{};  // the row's caption without its colon; a row without one, that of its "Inquire"
  std::string unit{};
  std::string text{};     // the field's text; for a list or selector, the entry chosen ("" for none)
  bool numeric = false;   // it is filled with a number, not a code, a text or a list entry
  bool polled = false;    // the real-time poll fills it, with the entries chosen now
  FieldState state{};
};

// A field as a script or a listing sees it.
struct FieldInfo {
  int id = 0;
  std::string caption{};  // as the view names the field: the caption without its colon
  std::string unit{};
  int inquire = 0;        // its "Inquire" button, 0: none
  int setup = 0;          // its "Set up" button, 0: none
  bool readable = false;  // its "Inquire" reads it now
  bool settable = false;  // its "Set up" writes what is typed into it or chosen in it
  bool polled = false;
  Texts entries{};        // a list's entries
};

// Questions about a declaration with the inputs of the moment.
class PageModel {
 public:
  explicit PageModel(const PageDeclaration& declaration) : d_(declaration) {}
  const PageDeclaration& Declaration() const { return d_; }

  // "Register 0：" is "Register 0".
  static std::string Plain(std::string caption);
  // A row's caption without its colon; a row without one takes that of the row its button reads
  // it with.
  std::string RowCaption(size_t index) const;
  // The name a screen reader says for a row's field: its caption, with its unit where the
  // caption repeats on the page, or the row's own name.
  std::string RowName(size_t index) const;
  // The row whose line carries an "Inquire" button shared by several rows.
  size_t ButtonRow(int inquire) const;

  const Row* RowOfEdit(int edit) const;
  // A row by the caption the view names its field with (case and colon aside); null if none.
  const Row* FindRow(const std::string& caption) const;
  // A selector's entries in the order it shows them.
  Texts Entries(const Selector& selector) const;
  const Selector* SelectorOf(int id) const;
  // The entry chosen in a selector ("" for none).
  std::string CurrentEntry(const PageInputs& inputs, int selector) const;
  bool EntryChosen(const PageInputs& inputs, int selector, const Texts& entries) const;
  // The read or write a row performs now: its variant for the entries chosen, or its own.
  ReadOp ReadFor(const PageInputs& inputs, const Row& row) const;
  WriteOp WriteFor(const PageInputs& inputs, const Row& row) const;
  // Left out of the poll by the entries chosen.
  bool Skipped(const PageInputs& inputs, int edit) const;
  // How the real-time poll fills a field now, if it does.
  const Representation* PolledAs(const PageInputs& inputs, int edit) const;

  // Every control's enabled state: disabled while the ticked box locks it or a chosen entry
  // disables it. Hidden rows are never enabled and not listed.
  std::vector<std::pair<int, bool>> EnabledStates(const PageInputs& inputs) const;
  // The fields choosing an entry of `selector` blanks now.
  std::vector<int> Blanked(const PageInputs& inputs, int selector) const;

  // What the row's write can carry now; none when it writes no typed number (a command, a list).
  std::optional<WriteRange> WriteRangeFor(const PageInputs& inputs, const Row& row) const;
  // Before a "Set up" sends anything: the first of its rows whose typed number the write would
  // wrap, as a box in the row's own words (caption) with a text naming the field, the value and
  // what the field holds. None when every number fits, or a text is no number at all (that
  // keeps its own rule).
  std::optional<std::pair<std::string, std::string>> RefusedSetUp(int button, const PageInputs& inputs) const;

  // Every visible field, in the order the page shows them: its selectors, then its rows.
  std::vector<FieldReading> Readings(const PageInputs& inputs, const FieldStates& states) const;
  // Every visible field of a row, for listings and scripts.
  std::vector<FieldInfo> Fields(const PageInputs& inputs) const;

 private:
  const PageDeclaration& d_;
};

}  // namespace tamsu
