// tamsu-cli survey: which transmitters answer on the line, at which addresses and rates.
#include <ostream>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/session.h"
#include "device/survey.h"

namespace tamsu::cli {

namespace {

// The plan as the command line gives it, checked whole before the port opens.
SurveyPlan ReadPlan(const Options& options) {
  SurveyPlan plan;
  if (options.rates) {
    plan.rates.clear();
    std::string_view rest = *options.rates;
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      plan.rates.push_back(static_cast<uint32_t>(ParseInteger(rest.substr(0, comma), 1, 4000000, "--rates")));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
      if (rest.empty()) throw UsageError("--rates ends with a comma");
    }
  }
  if (options.from) plan.from = static_cast<int>(ParseInteger(*options.from, kSurveyLowest, kSurveyHighest, "--from"));
  if (options.to) plan.to = static_cast<int>(ParseInteger(*options.to, kSurveyLowest, kSurveyHighest, "--to"));
  if (options.wait)
    plan.wait = std::chrono::milliseconds(ParseInteger(*options.wait, kSurveyShortestWait.count(),
                                                       kSurveyLongestWait.count(), "--wait"));
  if (const std::string why = CheckSurveyPlan(plan); !why.empty()) throw UsageError(why);
  return plan;
}

}  // namespace

int RunSurvey(const Options& options, Io& io) {
  if (!options.words.empty()) throw UsageError("usage: tamsu-cli survey [--rates 9600,4800] [--from 1 --to 247] [--wait MS]");
  const SurveyPlan plan = ReadPlan(options);
  Session session(options);
  const std::string path = session.Path();

  Table table{{"event", "address", "baud", "register 0", "configuration"}, {}, true};
  // The header at once, so a sweep that finds nothing is still a CSV file with its columns.
  if (options.format == Format::Csv) {
    for (size_t i = 0; i < table.columns.size(); ++i) io.out << (i ? "," : "") << CsvCell(table.columns[i]);
    io.out << '\n';
  }
  auto line = [&](const char* event, const SurveyFinding& f, std::string text) {
    std::vector<std::string> row{event, std::to_string(f.address), std::to_string(f.baud), RegisterText(f),
                                 ConfigurationText(f)};
    if (options.format == Format::Text) {
      io.out << "address " << f.address << " at " << f.baud << " baud: " << text << '\n';
      io.out.flush();
    } else {
      PrintLine(table, row, options.format, false, io.out);
    }
  };
  size_t present = 0, conflicts = 0;
  SurveyObserver observer;
  observer.found = [&](const SurveyFinding& f) {
    if (f.kind == SurveyFinding::Kind::Conflict) {
      ++conflicts;
      io.err << "tamsu-cli: " << ConflictText(f.address) << " (" << f.baud << " baud)\n";
      line("conflict", f, ConflictText(f.address));
      return;
    }
    ++present;
    line("found", f, "register 0 reads " + RegisterText(f));
  };
  observer.configured = [&](const SurveyFinding& f) {
    line("configuration", f, "configured for " + ConfigurationText(f));
  };
  Survey survey(session.GetLink(), session.Master(), plan, observer);
  const SurveyOutcome outcome = survey.Run(path);
  if (outcome == SurveyOutcome::OpenFailed || outcome == SurveyOutcome::PortLost) throw Failure(survey.Message());
  io.err << "tamsu-cli: survey done: " << present << (present == 1 ? " transmitter" : " transmitters") << " found, "
         << conflicts << (conflicts == 1 ? " address" : " addresses") << " with several\n";
  return kExitOk;
}

}  // namespace tamsu::cli
