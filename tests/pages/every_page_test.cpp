// Every page of the catalogue driven through the runner alone, with no display, against the
// simulator's profile of that page: every "Set up" and command, every "Inquire" and one poll.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "device/page_runner.h"
#include "pages/catalogue.h"
#include "tests/support/page_script.h"
#include "tests/support/sim_line.h"

namespace tamsu {
namespace {

using test::SimLine;
using test::Step;

TEST(Catalogue, FifteenCategoriesFiftySevenPagesEachFoundByItsClassName) {
  const Catalogue& catalogue = PageCatalogue();
  EXPECT_EQ(catalogue.Categories().size(), 15u);
  std::set<std::string> names;
  for (const PageDeclaration* page : catalogue.Pages()) {
    names.insert(page->name);
    EXPECT_EQ(FindPage(page->name), page);
  }
  EXPECT_EQ(names.size(), 57u);
  EXPECT_EQ(FindPage("NoSuchPage"), nullptr);
}

// Each exchange is answered in the normal way by a device of the page's kind: the page reads and
// writes only registers its device has, and every field a read fills is marked as read.
class EveryPage : public testing::TestWithParam<std::string> {};

TEST_P(EveryPage, EveryButtonAndThePollRunHeadlessAgainstItsDevice) {
  const PageDeclaration* page = FindPage(GetParam());
  ASSERT_NE(page, nullptr);
  SimLine line(page->name);
  NoOutput output;
  PageRunner runner(line.GetLink(), *page, line.Sink(), output);
  PageInputs inputs = test::ScriptInputs(*page);
  const std::vector<Step> steps = test::Script(*page);
  ASSERT_FALSE(steps.empty());
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << step.kind << " button " << step.button);
    inputs = test::Perform(runner, step, inputs);
    const std::vector<sim::LogEntry> log = line.Sim().RequestLog();
    line.Sim().ClearLog();
    if (step.kind != Step::SetUp) {
      EXPECT_FALSE(log.empty());
    }
    for (const sim::LogEntry& entry : log) {
      ASSERT_GE(entry.reply.size(), 2u);
      EXPECT_EQ(entry.reply[1], entry.request[1]) << "an exception or no answer";
    }
    if (step.kind == Step::SetUp) {
      // One request, and the box that says the device took it (or the refusal of the input).
      EXPECT_LE(log.size(), 1u);
      for (const test::Box& box : line.Sink().boxes)
        EXPECT_TRUE(box.text == "Write Successfully" || box.text == kEmptyInputText ||
                    (log.size() == 1 && box.icon == MessageIcon::Information)) << box;
      line.Sink().boxes.clear();
      continue;
    }
    for (const test::Box& box : line.Sink().boxes) ADD_FAILURE() << box;
    line.Sink().boxes.clear();
    for (const Row& row : page->rows) {
      const bool read = step.kind == Step::Inquire ? row.inquire == step.button
                                                    : runner.Model().PolledAs(inputs, row.edit) != nullptr;
      if (!read || row.edit == 0 || !runner.Model().ReadFor(inputs, row)) continue;
      const auto state = runner.States().find(row.edit);
      ASSERT_NE(state, runner.States().end()) << row.edit;
      EXPECT_EQ(state->second.source, FieldSource::Read) << row.edit;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryPage, testing::ValuesIn(test::PageNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tamsu
