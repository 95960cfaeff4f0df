// The runner on a declared page with no display: lists, commands, refusals, derived fields,
// block polls, the outcome of each exchange per field, and the order of reports and boxes.
#include "device/page_runner.h"

#include <gtest/gtest.h>

#include "tests/support/headless_page.h"
#include "tests/support/range_page.h"

namespace tamsu {
namespace {

using test::Box;
using test::HeadlessOnSim;
using test::Read;
using test::RangeDeclaration;
using test::Request;

TEST(PageRunner, ListsCommandsRefusalsAndDerivedFields) {
  HeadlessOnSim t(RangeDeclaration(), "generic");
  auto& line = t.line;
  auto& page = t.page;
  // Nothing chosen, nothing written.
  page.Click(42);
  EXPECT_TRUE(line.TakeRequests().empty());
  EXPECT_TRUE(line.TakeBoxes().empty());
  // A value is shown as the entry that stands for it; one that none stands for empties it.
  line.Sim().SetRegister(0x0064, 1);
  page.Click(41);
  EXPECT_EQ(page.Chosen(40), "Depth");
  line.Sim().SetRegister(0x0064, 7);
  page.Click(41);
  EXPECT_EQ(page.Chosen(40), "");
  // An entry may stand for a command to a register of its own.
  page.Choose(40, "Zero cali");
  page.Click(42);
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(0x64), Read(0x64), test::Write(0x53, 0x67)}));
  EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"Write Successfully", "", MessageIcon::Exclamation}}));
  // A command button writes its value, in its page's words.
  page.Click(43);
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{test::Write(0x50, 1)}));
  EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"Write Success", "", MessageIcon::Information}}));
  // Two registers, the code first; an input whose low 16 bits are 0 is refused unsent.
  for (const char* refused : {"0.001", "655.36", "abc"}) {
    page.Set(44, refused);
    page.Click(45);
    EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"Input content cannot be empty", "Warning", MessageIcon::Exclamation}}))
        << refused;
  }
  EXPECT_TRUE(line.TakeRequests().empty());
  page.Set(44, "4.00");
  page.Click(45);
  EXPECT_EQ(line.Sim().GetRegister(0x0120), 2);
  EXPECT_EQ(line.Sim().GetRegister(0x0121), 400);
  line.TakeBoxes();
  // A derived field follows the read value; a failed read keeps it and says so in the row's words.
  line.Sim().SetRegister(0x0000, 3142);
  page.Click(47);
  EXPECT_EQ(page.Text(46), "3142");
  EXPECT_EQ(page.Text(48), "10.00");
  line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  page.Click(47);
  EXPECT_EQ(page.Text(46), "");
  EXPECT_EQ(page.Text(48), "10.00");
  EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"format", "Warning", MessageIcon::Exclamation}}));
}

TEST(PageRunner, ABlockPollFillsItsFieldsFromOneAnswerOrEmptiesThemAll) {
  PageDeclaration declaration = RangeDeclaration();
  declaration.block = {.start = 0,
                       .count = 3,
                       .fields = {{46, 0, {}},
                                  {48, 1, {.kind = Representation::Kind::Signed, .scale = 0.1, .decimals = 1}},
                                  {20, 1, {.kind = Representation::Kind::Unsigned32}}}};
  HeadlessOnSim t(declaration, "generic");
  t.line.Sim().SetRegister(0x0000, 0xFFFF);
  t.line.Sim().SetRegister(0x0001, 0xFF9C);
  t.line.Sim().SetRegister(0x0002, 0x0001);
  t.page.Poll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0, 3)}));
  EXPECT_EQ(t.page.Text(46), "65535");
  EXPECT_EQ(t.page.Text(48), "-10.0");
  EXPECT_EQ(t.page.Text(20), std::to_string(0xFF9C0001u));
  for (int edit : {46, 48, 20}) EXPECT_EQ(t.page.States().at(edit).source, FieldSource::Read) << edit;
  t.line.Sim().AddFault({.kind = sim::FaultKind::BadCrc});
  t.page.Poll();
  for (int edit : {46, 48, 20}) {
    EXPECT_EQ(t.page.Text(edit), "") << edit;
    EXPECT_EQ(t.page.States().at(edit).source, FieldSource::ReadFailed) << edit;
  }
  EXPECT_TRUE(t.line.TakeBoxes().empty());
}

// Per field, the outcome of the exchange that last filled it or failed to, stamped with the
// time the exchange began: a kept text after a failed read is no longer a reading, a write the
// device refused leaves what was typed as typed, and a command makes no field the device's.
TEST(PageRunner, EachFieldKnowsTheOutcomeAndTimeOfItsLastExchange) {
  HeadlessOnSim t(RangeDeclaration(), "generic");
  auto& page = t.page;
  std::chrono::system_clock::time_point now{std::chrono::seconds(1'700'000'000)};
  page.Runner().SetClock([&now] { return now; });

  t.line.Sim().SetRegister(0x0000, 100);
  page.Click(47);
  EXPECT_EQ(page.States().at(46).source, FieldSource::Read);
  EXPECT_EQ(page.States().at(48).source, FieldSource::Read);  // derived from the same read
  EXPECT_EQ(page.States().at(46).when, now);

  now += std::chrono::seconds(5);
  page.Set(23, "12");
  EXPECT_EQ(page.States().at(23).source, FieldSource::Typed);
  page.Click(25);
  EXPECT_EQ(page.States().at(23).source, FieldSource::Written);
  EXPECT_EQ(page.States().at(23).when, now);
  page.Set(23, "13");
  t.line.Sim().AddFault({.kind = sim::FaultKind::Exception, .code = 2});
  page.Click(25);
  EXPECT_EQ(page.States().at(23).source, FieldSource::Typed);

  // A command says nothing about the field beside it.
  page.Click(43);
  EXPECT_FALSE(page.States().count(44));

  // A failed read that keeps its derived field's text.
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  now += std::chrono::seconds(5);
  page.Click(47);
  EXPECT_EQ(page.Text(48), "0.32");
  EXPECT_EQ(page.States().at(48).source, FieldSource::ReadFailed);
  EXPECT_EQ(page.States().at(46).when, now);

  // An entry that blanks a field leaves nothing of the device's in it.
  page.Choose(10, "Gas only");
  EXPECT_EQ(page.Text(23), " ");
  EXPECT_EQ(page.States().at(23).source, FieldSource::NotRead);
  EXPECT_STREQ(SourceText(FieldSource::Typed), "typed, not written");
  EXPECT_STREQ(SourceText(FieldSource::ReadFailed), "read failed");
}

// A box stops the sequence where it stands: the field is already empty when the failure's box
// is shown, and the next row is read only once the box is closed.
TEST(PageRunner, ABoxBlocksTheSequenceWithTheFieldAlreadyEmptied) {
  PageDeclaration declaration = RangeDeclaration();
  HeadlessOnSim t(declaration, "generic");
  t.page.Set(20, "old");
  t.page.Set(22, "old");
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  std::vector<std::pair<std::string, std::string>> seen;
  t.line.Sink().whileOpen = [&] {
    seen.push_back({t.page.Text(20), t.page.Text(22)});
    EXPECT_EQ(t.line.TakeRequests().size(), 1u);
  };
  t.line.Sim().SetRegister(0x0002, 1000);
  t.page.Click(21);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"", "old"}}));
  EXPECT_EQ(t.page.Text(22), "20.50");
}

// The enabled states are the model's: the ticked box locks what it lists, a chosen entry
// disables its controls; clicking the box with the port closed unticks it and says so.
// Asked to stop, a sequence ends before its next exchange and leaves the fields it had not
// reached as they were; each exchange it makes is said first. The same for a poll.
TEST(PageRunner, AStopEndsTheSequenceBeforeItsNextExchange) {
  HeadlessOnSim t(RangeDeclaration(), "generic");
  auto& page = t.page;
  std::vector<std::string> said;
  bool stop = false;
  page.Runner().SetLineHooks([&] { return stop; }, [&](const std::string& what) {
    said.push_back(what);
    stop = true;  // Esc during the first exchange
  });
  t.line.Sim().SetRegister(0x0002, 1000);
  page.Set(22, "kept");
  page.Click(21);  // reads two rows
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(2)});
  EXPECT_EQ(page.Text(20), "1000");
  EXPECT_EQ(page.Text(22), "kept");
  EXPECT_EQ(said, std::vector<std::string>{"Reading Gas (ppm)\u2026"});

  stop = true;
  page.Poll();
  EXPECT_TRUE(t.line.TakeRequests().empty());
  page.Runner().SetLineHooks({}, {});
  page.Click(21);
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(2), Read(2)}));
}

TEST(PageRunner, TheBoxAndTheEntriesDecideWhatIsEnabled) {
  HeadlessOnSim t(RangeDeclaration(), "generic");
  auto& page = t.page;
  EXPECT_TRUE(page.Enabled(21) && page.Enabled(10) && page.Enabled(25));
  page.ClickBox();
  EXPECT_TRUE(page.Ticked());
  EXPECT_FALSE(page.Enabled(21) || page.Enabled(10));
  EXPECT_TRUE(page.Enabled(24) && page.Enabled(25));
  page.ClickBox();
  page.Choose(10, "Gas only");
  EXPECT_FALSE(page.Enabled(23) || page.Enabled(24) || page.Enabled(25));
  page.Poll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(2)}));
  // Hidden rows have no state to show.
  EXPECT_FALSE(page.Enabled(27));

  t.line.GetLink().ClosePort();
  page.ClickBox();
  EXPECT_FALSE(page.Ticked());
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Please open the serial port first!", "Warning",
                                                    MessageIcon::Exclamation}}));
}

// What a script finds a field by, and what it may do with it.
TEST(PageModel, FieldsAreFoundByTheirCaptionAndListedWithWhatTheyDo) {
  const PageDeclaration declaration = RangeDeclaration();
  const PageModel model(declaration);
  ASSERT_NE(model.FindRow("gas upper"), nullptr);
  EXPECT_EQ(model.FindRow("Gas Upper:")->edit, 23);
  EXPECT_EQ(model.FindRow("Mode")->setup, 42);
  EXPECT_EQ(model.FindRow("Version"), nullptr);  // hidden
  EXPECT_EQ(model.FindRow("Nothing"), nullptr);
  EXPECT_EQ(PageModel::Plain("Register 0\xEF\xBC\x9A"), "Register 0");

  PageInputs inputs;
  inputs.chosen[10] = model.Entries(*model.SelectorOf(10)).size() - 1;  // "Gas only", sorted last
  ASSERT_EQ(model.CurrentEntry(inputs, 10), "Gas only");
  const std::vector<FieldInfo> fields = model.Fields(inputs);
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[1].caption, "Gas");  // read by the row above's button
  EXPECT_EQ(fields[1].unit, "mg/m3");
  EXPECT_TRUE(fields[2].readable && fields[2].settable);
  EXPECT_FALSE(fields[2].polled);  // "Gas only" leaves it out of the poll
  EXPECT_TRUE(fields[0].polled && !fields[0].settable);
  EXPECT_EQ(fields[3].entries, (Texts{"Altitude", "Depth", "Zero cali"}));
  EXPECT_TRUE(fields[4].settable && !fields[4].readable);  // a calibration pair
}

}  // namespace
}  // namespace tamsu
