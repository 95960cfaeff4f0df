// The window and the runner alone, driven through the same clicks on devices of the same kind,
// send the same requests, byte for byte and in the same order, and leave the same texts.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "device/page_runner.h"
#include "pages/catalogue.h"
#include "tests/support/page_script.h"
#include "tests/support/sim_line.h"
#include "tests/view/page_test_support.h"

namespace tamsu::test {
namespace {

class WindowAndRunner : public testing::TestWithParam<std::string> {};

TEST_P(WindowAndRunner, SendTheSameRequestsForTheSameClicks) {
  const PageDeclaration* declaration = FindPage(GetParam());
  ASSERT_NE(declaration, nullptr);
  const PageInputs typed = ScriptInputs(*declaration);
  const std::vector<Step> steps = Script(*declaration);

  // The window: the inputs typed and chosen into its controls, its buttons clicked.
  SimulatedLine screen(GetParam());
  std::unique_ptr<DevicePage> page(CreatePage(screen.Context(), *declaration));
  for (const auto& [id, text] : typed.texts) page->Edit(id)->setText(QString::fromStdString(text));
  for (const auto& [id, index] : typed.chosen)
    if (QComboBox* list = page->List(id)) list->setCurrentIndex(index);
  screen.TakeFrames();

  // The runner alone, handed the same inputs and then what it left.
  SimLine headless(GetParam());
  NoOutput output;
  PageRunner runner(headless.GetLink(), *declaration, headless.Sink(), output);
  PageInputs inputs = typed;

  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << step.kind << " button " << step.button);
    inputs = test::Perform(runner, step, inputs);
    if (step.kind == Step::Poll) {
      page->RealTimePoll();
    } else {
      ASSERT_NE(page->Button(step.button), nullptr);
      ASSERT_TRUE(page->Button(step.button)->isEnabled());
      page->Button(step.button)->click();
    }
    screen.WaitIdle();
    const auto sent = screen.TakeFrames();
    EXPECT_FALSE(sent.empty() && step.kind != Step::SetUp);
    EXPECT_EQ(headless.TakeFrames(), sent);
    EXPECT_EQ(headless.Sink().boxes, screen.Sink().boxes);
    headless.Sink().boxes.clear();
    screen.Sink().boxes.clear();
  }
  const PageInputs shown = page->Inputs();
  EXPECT_EQ(inputs.texts, shown.texts);
  EXPECT_EQ(inputs.chosen, shown.chosen);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, WindowAndRunner, testing::ValuesIn(test::PageNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tamsu::test
