// The clicks that exercise a whole page, as plain data, so that the runner alone and the window
// can be driven through the same ones and the requests they send compared.
#pragma once

#include <string>
#include <vector>

#include "device/page_model.h"
#include "device/page_runner.h"
#include "pages/catalogue.h"

namespace tamsu::test {

struct Step {
  enum Kind { SetUp, Inquire, Poll } kind;
  int button = 0;  // none for the poll
};

// What is typed and chosen before the first click: a number in every field, the first entry of
// every list; the selectors keep the entries the page starts with.
inline PageInputs ScriptInputs(const PageDeclaration& page) {
  PageInputs inputs;
  for (const Selector& selector : page.selectors) inputs.chosen[selector.id] = selector.selected;
  for (const Row& row : page.rows) {
    if (row.edit == 0) continue;
    if (row.choices.empty())
      inputs.texts[row.edit] = "12";
    else
      inputs.chosen[row.edit] = 0;
  }
  return inputs;
}

// Every "Set up" and command the page lets the user press with those inputs (writes first, so
// they write what was typed), then every "Inquire", then one pass of the poll. A button the
// page disables is not pressed: its click does nothing on screen.
inline std::vector<Step> Script(const PageDeclaration& page) {
  const PageModel model(page);
  const PageInputs inputs = ScriptInputs(page);
  std::vector<int> enabled;
  for (const auto& [id, on] : model.EnabledStates(inputs))
    if (on) enabled.push_back(id);
  auto pressable = [&enabled](int id) {
    for (int e : enabled)
      if (e == id) return true;
    return false;
  };
  std::vector<Step> steps;
  for (const Row& row : page.rows)
    if (row.setup != 0 && pressable(row.setup)) steps.push_back({Step::SetUp, row.setup});
  for (const Row& row : page.rows) {
    if (row.inquire == 0 || !pressable(row.inquire)) continue;
    bool seen = false;
    for (const Step& s : steps) seen = seen || (s.kind == Step::Inquire && s.button == row.inquire);
    if (!seen) steps.push_back({Step::Inquire, row.inquire});
  }
  if (!page.poll.empty() || page.block.count > 0) steps.push_back({Step::Poll});
  return steps;
}

// One step through the runner alone; returns the inputs as it left them.
inline PageInputs Perform(PageRunner& runner, const Step& step, const PageInputs& inputs) {
  switch (step.kind) {
    case Step::SetUp: runner.SetUp(step.button, inputs); break;
    case Step::Inquire: runner.Inquire(step.button, inputs); break;
    case Step::Poll: runner.RealTimePoll(inputs); break;
  }
  return runner.Inputs();
}

// Every page of the catalogue by its class name, in the window's order.
inline std::vector<std::string> PageNames() {
  std::vector<std::string> names;
  for (const PageDeclaration* page : PageCatalogue().Pages()) names.push_back(page->name);
  return names;
}

}  // namespace tamsu::test
