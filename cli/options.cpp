#include "cli/options.h"

#include <charconv>
#include <cmath>
#include <map>

namespace tamsu::cli {

namespace {

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

enum class Takes { Nothing, Value };

const std::map<std::string, Takes, std::less<>>& Known() {
  static const std::map<std::string, Takes, std::less<>> known = {
      {"help", Takes::Nothing},   {"version", Takes::Nothing}, {"port", Takes::Value},
      {"address", Takes::Value},  {"baud", Takes::Value},      {"format", Takes::Value},
      {"as", Takes::Value},       {"interval", Takes::Value},  {"count", Takes::Value},
      {"record", Takes::Value},   {"auto", Takes::Nothing},    {"timing", Takes::Nothing},
      {"dry-run", Takes::Nothing},
      {"rates", Takes::Value},    {"from", Takes::Value},      {"to", Takes::Value},
      {"wait", Takes::Value},
  };
  return known;
}

void Apply(Options& options, const std::string& name, const std::string& value) {
  if (name == "help") {
    options.help = true;
  } else if (name == "version") {
    options.version = true;
  } else if (name == "port") {
    if (value.empty()) throw UsageError("--port needs a port");
    options.port = value;
  } else if (name == "address") {
    options.address = static_cast<int>(ParseInteger(value, 0, 255, "--address"));
  } else if (name == "baud") {
    options.baud = static_cast<uint32_t>(ParseInteger(value, 1, 4000000, "--baud"));
  } else if (name == "format") {
    if (value == "text") options.format = Format::Text;
    else if (value == "csv") options.format = Format::Csv;
    else if (value == "json") options.format = Format::Json;
    else throw UsageError("--format must be text, csv or json, not " + Quoted(value));
  } else if (name == "as") {
    if (value != "u16" && value != "s16" && value != "u32" && value != "s32" && value != "f32")
      throw UsageError("--as must be u16, s16, u32, s32 or f32, not " + Quoted(value));
    options.as = value;
  } else if (name == "interval") {
    const double seconds = ParseNumber(value, "--interval");
    if (!(seconds >= 0.05 && seconds <= 86400)) throw UsageError("--interval must be 0.05 to 86400 seconds");
    options.interval = seconds;
  } else if (name == "count") {
    options.count = ParseInteger(value, 1, 1000000000, "--count");
  } else if (name == "record") {
    if (value.empty()) throw UsageError("--record needs a file");
    options.record = value;
  } else if (name == "timing") {
    options.timing = true;
  } else if (name == "auto") {
    options.autoNext = true;
  } else if (name == "dry-run") {
    options.dryRun = true;
  } else if (name == "rates" || name == "from" || name == "to" || name == "wait") {
    (name == "rates" ? options.rates : name == "from" ? options.from : name == "to" ? options.to : options.wait) = value;
  }
}

}  // namespace

long long ParseInteger(std::string_view text, long long min, long long max, std::string_view what) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || error == std::errc::invalid_argument || end != digits.data() + digits.size() ||
      (digits.front() == '-' || digits.front() == '+'))
    throw UsageError(std::string(what) + " is not a whole number: " + Quoted(text));
  if (error == std::errc::result_out_of_range || (negative ? -value : value) < min ||
      (negative ? -value : value) > max)
    throw UsageError(std::string(what) + " must be " + std::to_string(min) + " to " + std::to_string(max) +
                     ", not " + Quoted(text));
  return negative ? -value : value;
}

double ParseNumber(std::string_view text, std::string_view what) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    throw UsageError(std::string(what) + " is not a number: " + Quoted(text));
  return value;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool onlyWords = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!onlyWords && arg == "--") {
      onlyWords = true;
      continue;
    }
    // "-5" is a value (a raw register value, a limit), never an option.
    const bool option = !onlyWords && arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
    if (!option) {
      if (options.command.empty()) options.command = arg;
      else options.words.push_back(arg);
      continue;
    }
    if (arg == "-h") {
      options.help = true;
      options.given.push_back("help");
      continue;
    }
    if (arg.rfind("--", 0) != 0) throw UsageError("unknown option " + Quoted(arg) + " (try --help)");
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const auto known = Known().find(name);
    if (known == Known().end()) throw UsageError("unknown option " + Quoted("--" + name) + " (try --help)");
    if (known->second == Takes::Value && !value) {
      if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
      value = args[++i];
    } else if (known->second == Takes::Nothing && value) {
      throw UsageError("--" + name + " takes no value");
    }
    Apply(options, name, value.value_or(""));
    options.given.push_back(name);
  }
  return options;
}

}  // namespace tamsu::cli
