// The subcommands that need no page: the port list, the scan, the connection band's address
// and rate, and single register transactions.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/ports.h"
#include "cli/session.h"
#include "device/device_settings.h"
#include "modbus/messages.h"

namespace tamsu::cli {

namespace {

void ExpectWords(const Options& options, size_t min, size_t max, const char* synopsis) {
  if (options.words.size() < min || options.words.size() > max)
    throw UsageError(std::string("usage: tamsu-cli ") + synopsis);
}

// The failure text of a read or write result, in the transactions' own words.
std::string ResultText(const ReadMessages& messages, uint8_t result) {
  if (result >= 1 && result <= 3) return messages.text[result - 1];
  return "result " + std::to_string(result);
}

std::string Hex(uint16_t reg) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", reg);
  return text;
}

int WordsPer(const std::string& type) { return type == "u16" || type == "s16" ? 1 : 2; }

// `words` holds WordsPer(type) registers, high word first.
std::string Decode(const std::string& type, const uint16_t* words) {
  if (type == "u16") return std::to_string(words[0]);
  if (type == "s16") return std::to_string(static_cast<int16_t>(words[0]));
  const uint32_t wide = static_cast<uint32_t>(words[0]) << 16 | words[1];
  if (type == "u32") return std::to_string(wide);
  if (type == "s32") return std::to_string(static_cast<int32_t>(wide));
  float value;
  std::memcpy(&value, &wide, sizeof value);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// `reg`: the register the value goes to, which a refusal names with the range of its type.
void Encode(const std::string& type, const std::string& text, uint16_t reg, std::vector<uint16_t>& words) {
  const std::string what = "register " + Hex(reg) + " (" + type + ")";
  uint32_t wide = 0;
  if (type == "u16") {
    words.push_back(static_cast<uint16_t>(ParseInteger(text, 0, 65535, what)));
    return;
  }
  if (type == "s16") {
    words.push_back(static_cast<uint16_t>(ParseInteger(text, -32768, 32767, what)));
    return;
  }
  if (type == "u32") {
    wide = static_cast<uint32_t>(ParseInteger(text, 0, 4294967295LL, what));
  } else if (type == "s32") {
    wide = static_cast<uint32_t>(ParseInteger(text, -2147483648LL, 2147483647LL, what));
  } else {
    const double number = ParseNumber(text, what);
    if (std::fabs(number) > std::numeric_limits<float>::max())
      throw UsageError(what + " must be within a 32-bit float's range, not '" + text + "'");
    const float value = static_cast<float>(number);
    std::memcpy(&wide, &value, sizeof wide);
  }
  words.push_back(static_cast<uint16_t>(wide >> 16));
  words.push_back(static_cast<uint16_t>(wide & 0xFFFF));
}

}  // namespace

int CheckedAddress(const std::string& text) {
  const long long address = ParseInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), "address");
  if (address == 0) throw UsageError("Address Cannot be 0");
  if (address < 1 || address > 255) throw UsageError("address must be 1 to 255, not " + text);
  return static_cast<int>(address);
}

uint32_t CheckedBaud(const std::string& text) {
  const long long baud = ParseInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), "baud rate");
  if (baud != 2400 && baud != 4800 && baud != 9600) throw UsageError("Baudrate Error");
  return static_cast<uint32_t>(baud);
}

int RunPorts(const Options& options, Io& io) {
  ExpectWords(options, 0, 0, "ports");
  Table table{{"name", "path", "kind", "state", "about"}, {}, true};
  for (const PortEntry& port : ListPorts()) table.Add({port.name, port.path, port.kind, port.state, port.about});
  Print(table, options.format, io.out);
  return kExitOk;
}

int RunScan(const Options& options, Io& io) {
  ExpectWords(options, 0, 0, "scan [--port P]");
  Session session(options);
  const ScanOutcome outcome = session.Scan();
  if (outcome == ScanOutcome::OpenFailed) throw Failure(session.Path() + ": " + kOpenFailedText);
  if (outcome == ScanOutcome::Unknown) throw Failure(session.Path() + ": " + OneLine(session.LastScanMessage().text));
  const DeviceConfig& config = session.Config();
  if (options.format == Format::Text) {
    io.out << OneLine(session.LastScanMessage().text) << '\n';
    if (config.echoes) io.out << kEchoesText << '\n';
    return kExitOk;
  }
  const bool block = config.mode != ConfigMode::Legacy;
  Table table{{"port", "address", "baud", "parity", "mode", "message"}, {}};
  table.Add({session.Path(), std::to_string(session.DeviceAddress()), std::to_string(config.DetectedBaud),
             block ? ParityText(config.ParityCode) : "", ModeName(config.mode),
             OneLine(session.LastScanMessage().text) + (config.echoes ? std::string("; ") + kEchoesText : "")});
  Print(table, options.format, io.out);
  return kExitOk;
}

namespace {

// Prints an accepted exchange's message; anything else is a Failure in the window's words.
int Settled(Session& session, SettingOutcome outcome, Io& io) {
  const std::string text = session.Sink().TakeText();
  if (outcome != SettingOutcome::Accepted) throw Failure(text.empty() ? "no reply" : text);
  io.out << text << '\n';
  return kExitOk;
}

}  // namespace

namespace {

// The connection band's "Set up" of the address or the rate, in the mode a scan finds.
int SetUpBand(const Options& options, Io& io, bool rate) {
  ExpectWords(options, 1, 1, rate ? "baud B" : "address N");
  const std::string value = std::to_string(rate ? CheckedBaud(options.words[0]) : CheckedAddress(options.words[0]));
  Session session(options);
  session.Connect(true);
  DeviceSettings settings(session.GetLink(), session.Master(), session.Sink(), session.Config());
  const SettingOutcome outcome = rate ? settings.SetBaud(std::to_string(session.DeviceAddress()), value, session.Path())
                                      : settings.SetAddress(value);
  return Settled(session, outcome, io);
}

}  // namespace

int RunAddress(const Options& options, Io& io) { return SetUpBand(options, io, false); }
int RunBaud(const Options& options, Io& io) { return SetUpBand(options, io, true); }

int RunRaw(const Options& options, Io& io) {
  static constexpr char kUsage[] = "raw read REG [COUNT] [--as TYPE] | raw write REG VALUE... [--as TYPE]";
  if (options.words.empty() || (options.words[0] != "read" && options.words[0] != "write")) throw UsageError(std::string("usage: tamsu-cli ") + kUsage);
  const bool read = options.words[0] == "read";
  const std::string type = options.as.value_or("u16");
  if (options.words.size() < 2) throw UsageError(std::string("usage: tamsu-cli ") + kUsage);
  const auto reg = static_cast<uint16_t>(ParseInteger(options.words[1], 0, 65535, "register"));

  Table table{{"register", "value"}, {}};
  if (read) {
    ExpectWords(options, 2, 3, kUsage);
    const long long count = options.words.size() > 2 ? ParseInteger(options.words[2], 1, 125 / WordsPer(type), "count") : 1;
    const auto registers = static_cast<uint16_t>(count * WordsPer(type));
    if (reg + registers > 65536) throw UsageError("registers beyond 0xFFFF");
    Session session(options);
    session.Connect();
    std::vector<uint16_t> words(registers);
    const uint8_t result = session.Master().ReadRegisters(reg, registers, words.data());
    if (result != 0) throw Failure(ResultText(kShowRegisterMessages, result));
    for (long i = 0; i < count; ++i) {
      const size_t at = static_cast<size_t>(i * WordsPer(type));
      table.Add({Hex(static_cast<uint16_t>(reg + at)), Decode(type, words.data() + at)});
    }
  } else {
    std::vector<uint16_t> words;
    for (size_t i = 2; i < options.words.size(); ++i)
      Encode(type, options.words[i], static_cast<uint16_t>(reg + words.size()), words);
    if (words.empty() || words.size() > kMaxWriteMany)
      throw UsageError("raw write sends one register (function 06) or up to " + std::to_string(kMaxWriteMany) +
                       " (function 16)");
    if (reg + words.size() > 65536) throw UsageError("registers beyond 0xFFFF");
    Session session(options);
    session.Connect();
    const uint8_t result = words.size() == 1 ? session.Master().WriteRegister(reg, words[0])
                                             : session.Master().WriteRegisters(reg, words.data(),
                                                                               static_cast<uint16_t>(words.size()));
    if (result != 0) throw Failure(ResultText(kFieldWriteMessages.failure, result));
    for (size_t i = 2; i < options.words.size(); ++i) {
      const size_t at = (i - 2) * static_cast<size_t>(WordsPer(type));
      table.Add({Hex(static_cast<uint16_t>(reg + at)), options.words[i]});
    }
  }
  Print(table, options.format, io.out);
  return kExitOk;
}

}  // namespace tamsu::cli
