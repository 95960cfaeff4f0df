// The commissioning record: what the shown page displays, as CSV that reads back the same,
// written only when asked and only whole.
#include "app/commissioning_record.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <charconv>
#include <clocale>

#include "app/categories.h"
#include "view/category_host.h"
#include "app/main_window.h"
#include "tests/view/page_test_support.h"
#include "tests/support/german_locale.h"

namespace tamsu {
namespace {

using Line = std::vector<std::string>;

// An RFC 4180 reader: quoted cells with doubled quotes, lines ending in CRLF.
std::vector<Line> ParseCsv(std::string text) {
  std::vector<Line> lines;
  Line line;
  std::string cell;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += text[++i];
      else if (c == '"') quoted = false;
      else cell += c;
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      line.push_back(std::exchange(cell, {}));
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      line.push_back(std::exchange(cell, {}));
      lines.push_back(std::exchange(line, {}));
      ++i;
    } else {
      cell += c;
    }
  }
  EXPECT_TRUE(cell.empty() && line.empty()) << "the last line ends in CRLF";
  return lines;
}

std::optional<double> Number(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The window on a multi-gas transmitter, its page shown and polled once.
struct WindowOnMg11 {
  WindowOnMg11() {
    auto* categories = window.findChild<QTabWidget*>("1008", Qt::FindDirectChildrenOnly);
    categories->setCurrentIndex(3);
    auto* gas = qobject_cast<CategoryHost*>(window.Categories().Page(3));
    for (int i = 0; i < gas->Count(); ++i)
      if (gas->Tabs()->tabText(i) == "MG11") gas->SetCurrentIndex(i);
    page = window.Categories().VisiblePage(3);
    // As a scan leaves the band.
    window.findChild<QLineEdit*>("1002")->setText("1");
    window.findChild<QLineEdit*>("1003")->setText("9600");
  }
  test::SimulatedLine line{"Mg11Page"};
  MainWindow window{line.Context()};
  DevicePage* page = nullptr;
};

TEST(CommissioningRecord, MatchesWhatTheFieldsShowEmptyOnesIncludedAndReadsBackUnderAGermanLocale) {
  const test::GermanLocale german;
  if (german.Found()) {
    EXPECT_EQ(std::localeconv()->decimal_point[0], ',');
  }
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  WindowOnMg11 w;
  ASSERT_EQ(w.page->Name(), "Mg11Page");
  w.line.Sim().SetRegister(0x0003, 0xFF9C);
  w.line.Sim().SetRegister(0x0009, 7);
  w.page->RealTimeCheckBox()->click();
  w.window.Categories().RealTimeDispatch(3);
  w.line.WaitIdle();
  w.page->RealTimeCheckBox()->click();
  // One field whose read failed.
  w.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  w.page->Button(1499)->click();
  w.line.WaitIdle();
  ASSERT_EQ(w.page->Edit(1488)->text(), "");
  ASSERT_EQ(w.page->Edit(1487)->text(), "-10.0");

  QTemporaryDir dir;
  const QString path = dir.filePath("record.csv");
  ASSERT_TRUE(w.window.SaveRecordTo(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
  const std::vector<Line> lines = ParseCsv(bytes.mid(3).toStdString());
  QLocale::setDefault(QLocale::c());

  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], (Line{"Date and time", "Port", "Slave address", "Baud rate", "Page", "Caption", "Value", "Unit",
                            "Source", "Exchange time"}));
  const std::vector<FieldReading> fields = w.page->Readings();
  ASSERT_EQ(fields.size(), 18u);
  static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
  for (size_t i = 0; i < fields.size(); ++i) {
    const Line& line = lines[i + 1];
    SCOPED_TRACE(fields[i].caption);
    ASSERT_EQ(line.size(), 10u);
    EXPECT_TRUE(stamp.match(QString::fromStdString(line[0])).hasMatch()) << line[0];
    EXPECT_EQ(line[1], w.line.Sim().PortPath());
    EXPECT_EQ(line[2], "1");
    EXPECT_EQ(line[3], "9600");
    EXPECT_EQ(line[4], "Gas / MG11");
    EXPECT_EQ(line[5], fields[i].caption);
    EXPECT_EQ(line[6], fields[i].text);
    EXPECT_EQ(line[7], fields[i].unit);
    EXPECT_EQ(line[8], SourceText(fields[i].state.source));
    EXPECT_TRUE(stamp.match(QString::fromStdString(line[9])).hasMatch()) << line[9];
    // The same number, read without any locale's help.
    if (!fields[i].text.empty()) {
      EXPECT_EQ(Number(line[6]), QString::fromStdString(fields[i].text).toDouble()) << line[6];
    }
  }
  EXPECT_EQ(lines[3], (Line{lines[3][0], lines[3][1], "1", "9600", "Gas / MG11", "Hum", "", "%RH", "read failed",
                            lines[3][9]}));
  EXPECT_EQ(lines[4][8], "read");
  EXPECT_EQ(lines[4][6], "-10.0");
  EXPECT_EQ(lines[4][7], "℃");
  EXPECT_EQ(lines[9][6], "0.07");
}

TEST(CommissioningRecord, CellsKeepSeparatorsQuotesLineBreaksAndNeverBecomeFormulas) {
  CommissioningRecord record{.when = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 22)),
                             .port = "/dev/ttyUSB0",
                             .address = "1",
                             .baud = "9600",
                             .page = "Temperature&humidity / Tem&Humidity"};
  // Local time, as the first column.
  const std::chrono::system_clock::time_point typedAt{
      std::chrono::milliseconds(QDateTime(QDate(2024, 5, 1), QTime(14, 3, 20)).toMSecsSinceEpoch())};
  record.fields = {{.caption = "Range, high", .unit = "℃", .text = "1,5"},
                   {.caption = "Note", .text = "He said \"hi\"\nthen left"},
                   {.caption = "Typed", .text = "=HYPERLINK(\"x\")", .state = {FieldSource::Typed, typedAt}},
                   {.caption = "Cold", .text = "-10.0", .state = {FieldSource::ReadFailed, typedAt}},
                   {.caption = "Blanked", .text = " "}};
  const std::string csv = RecordCsv(record);
  const std::vector<Line> lines = ParseCsv(csv.substr(3));
  ASSERT_EQ(lines.size(), 6u);
  const Line context{"2024-05-01 14:03:22", "/dev/ttyUSB0", "1", "9600", "Temperature&humidity / Tem&Humidity"};
  auto row = [&](std::string caption, std::string value, std::string unit, std::string source = "not read",
                 std::string time = "") {
    Line line = context;
    line.insert(line.end(), {std::move(caption), std::move(value), std::move(unit), std::move(source), std::move(time)});
    return line;
  };
  EXPECT_EQ(lines[1], row("Range, high", "1,5", "℃"));
  EXPECT_EQ(lines[2], row("Note", "He said \"hi\"\nthen left", ""));
  EXPECT_EQ(lines[3], row("Typed", "'=HYPERLINK(\"x\")", "", "typed, not written", "2024-05-01 14:03:20"));
  EXPECT_EQ(lines[4], row("Cold", "-10.0", "", "read failed", "2024-05-01 14:03:20"));
  EXPECT_EQ(lines[5], row("Blanked", "", ""));
  EXPECT_EQ(SuggestedRecordName(record), "Temperature-humidity-Tem-Humidity-20240501-140322.csv");
}

// "Save record…": nothing is written until a file is picked; a file that cannot be written
// says so, and an existing record is not left half overwritten.
TEST(CommissioningRecord, WrittenOnlyWhenAskedAndOnlyWhole) {
  WindowOnMg11 w;
  QTemporaryDir dir;
  const QString path = dir.filePath("site.csv");
  QString offered;
  auto answer = [&](bool accept) {
    QTimer::singleShot(100, [&, accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      offered = dialog->selectedFiles().value(0);
      if (!accept) return dialog->reject();
      // Typed into the name box, as a person does.
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      if (!name) return dialog->reject();
      name->setText(path);
      static_cast<QDialog*>(dialog)->accept();
    });
  };
  w.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
  w.window.activateWindow();
  answer(false);
  QTest::keyClick(&w.window, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(QFileInfo(offered).fileName().startsWith("Gas-MG11-")) << offered.toStdString();
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  answer(true);
  w.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
  QTest::keyClick(&w.window, Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(QFile::exists(path));
  const qint64 whole = QFileInfo(path).size();
  EXPECT_GT(whole, 0);

  // The folder taken away: the box says why, and nothing is claimed.
  w.line.TakeBoxes();
  EXPECT_FALSE(w.window.SaveRecordTo(dir.filePath("gone/site.csv")));
  const std::vector<test::Box> boxes = w.line.TakeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Warning");
  EXPECT_NE(boxes[0].text.find("could not be saved"), std::string::npos);
  // A file that cannot be replaced keeps what it had.
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
  const bool writable = QFileInfo(dir.path()).isWritable();  // root writes anywhere
  if (!writable) {
    EXPECT_FALSE(w.window.SaveRecordTo(path));
    EXPECT_EQ(QFileInfo(path).size(), whole);
  }
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace tamsu
