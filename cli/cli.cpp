#include "cli/cli.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"

namespace tamsu::cli {

namespace {

struct Command {
  const char* name;
  const char* synopsis;
  const char* summary;
  const char* details;
  std::vector<std::string> own;  // options beyond the shared ones
  bool line;                     // takes --port, --address, --baud
  int (*run)(const Options&, Io&);
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"ports", "ports", "list the ports the window would list, with their state",
       "Serial adapters, virtual ports (the simulator's) and remembered network ports; busy ports are\n"
       "listed with their state. Nothing is opened for longer than a probe.\n",
       {}, false, RunPorts},
      {"scan", "scan [--port P]", "\"Test Baud Rate\": find the device's address, rate and mode",
       "Tries the 0xFD query at 2400, 4800 and 9600 baud, then the register block at address 255 and 0\n"
       "at 9600. Prints the address, rate, parity and configuration mode found; exit status 1 when\n"
       "nothing answers.\n",
       {}, true, RunScan},
      {"pages", "pages [PAGE]", "list the categories and pages, or one page's fields",
       "Without PAGE: every category, tab and page in the window's order, pages named by class\n"
       "(TemHumPage). With PAGE: its fields with caption, unit, whether they can be read, set and\n"
       "polled, and the entries of their lists.\n",
       {}, false, RunPages},
      {"read", "read PAGE [FIELD...]", "\"Inquire\" fields of a page (default: all readable)",
       "Prints caption, value and unit of each field. FIELD is a caption as the page shows it\n"
       "(\"Temperature\"); an unknown field or page is an error and nothing is sent.\n",
       {}, true, RunRead},
      {"set", "set PAGE FIELD=VALUE...", "\"Set up\" fields, each read back",
       "Writes each field as the page's \"Set up\" does, then reads it back where it can be read; a\n"
       "value read back other than the one written is an error. A list's VALUE is one of its entries.\n",
       {}, true, RunSet},
      {"poll", "poll PAGE [--interval S] [--count N]", "the page's real-time poll, one line per tick",
       "Runs the page's real-time poll every S seconds (default 1) until N ticks (default: until\n"
       "interrupted). With --format json each tick is one JSON object on its own line.\n",
       {"interval", "count"}, true, RunPoll},
      {"address", "address N", "set the device's slave address (the band's \"Set up\")",
       "Scans first, then writes the address in the configuration mode the scan found.\n", {}, true, RunAddress},
      {"baud", "baud B", "set the device's baud rate: 2400, 4800 or 9600",
       "Scans first, then writes the rate in the configuration mode the scan found.\n", {}, true, RunBaud},
      {"raw", "raw read REG [COUNT] [--as TYPE] | raw write REG VALUE... [--as TYPE]",
       "one register transaction, for a device without a page",
       "REG and integer values are decimal or 0x hexadecimal. TYPE is u16 (default), s16, u32, s32 or\n"
       "f32; 32-bit types take two registers, high word first. COUNT counts values of TYPE. A write\n"
       "sends one register (function 06) or more, up to 123 (function 16).\n",
       {"as"}, true, RunRaw},
      {"provision", "provision PLAN.csv --record RECORD.csv [--auto] [--dry-run]",
       "commission a batch of transmitters, one plan row each",
       "PLAN.csv has one row per transmitter: page,address,baud, then FIELD=VALUE cells; a first\n"
       "line page,address,baud may name the columns, lines starting with # are comments. For each\n"
       "row: wait for the next transmitter (Enter, or with --auto rescan every --interval seconds\n"
       "until another one answers), scan, write the settings, then the address and the rate, rescan\n"
       "to confirm, read every setting back, and append the record lines. A failure stops with the\n"
       "row, the field and the reason; running again with the same record skips the rows done (the\n"
       "record keeps each row's plan line and a hash of its text; a row changed since is reported, not\n"
       "provisioned). At the end a summary counts every row. --dry-run checks the plan and prints the\n"
       "exchanges each row would make, opening nothing.\n",
       {"record", "auto", "interval", "dry-run"}, true, RunProvision},
      {"survey", "survey [--port P] [--rates 9600,4800] [--from 1 --to 247] [--wait MS]",
       "which transmitters answer on the line, at which addresses and rates",
       "Asks every address from --from to --to (default 1 to 247) for register 0 at each rate of\n"
       "--rates (default 9600,4800,2400), giving each --wait ms to answer (default 100, 20 to 2000).\n"
       "One line per transmitter as it is found; after each rate, a line with the rate and parity\n"
       "a transmitter is configured for, where its family tells. Answers that collide each time are\n"
       "reported, also on standard error, as several transmitters at one address. Exit status 0 when\n"
       "the sweep ran, even with nothing found; 1 when the port failed (what was found is kept).\n"
       "Output: --format text (default), csv (a header, one row per event) or json (an object a line).\n",
       {"port", "rates", "from", "to", "wait"}, false, RunSurvey},
  };
  return commands;
}

const Command* Find(const std::string& name) {
  for (const Command& command : Commands())
    if (name == command.name) return &command;
  return nullptr;
}

void Usage(std::ostream& out) {
  out << "Usage: tamsu-cli COMMAND [ARGS] [--port P] [--address N] [--baud B] [--format text|csv|json]\n\n"
         "Configure and test a Tamsu transmitter from a script.\n\nCommands:\n";
  for (const Command& command : Commands()) {
    std::string name = command.name;
    name.resize(11, ' ');
    out << "  " << name << command.summary << '\n';
  }
  out << "\nOptions:\n"
         "  --port P        a device path, a listed port name, tcp://HOST:PORT or rfc2217://HOST:PORT\n"
         "                  (default: the first listed port)\n"
         "  --address N     the slave address (default: what a scan finds)\n"
         "  --baud B        the line's baud rate (default: what a scan finds)\n"
         "  --format F      text (default), csv or json\n"
         "  --timing        at the end, the exchanges and the time spent waiting for the line\n"
         "  -h, --help      this help; COMMAND --help for a command's\n"
         "  --version       the version\n\n"
         "Exit status: 0 success, 1 the port, the device or a file failed, 2 a wrong command line\n"
         "(nothing sent).\n";
}

void CommandUsage(const Command& command, std::ostream& out) {
  out << "Usage: tamsu-cli " << command.synopsis << '\n' << '\n' << command.details;
  if (command.line)
    out << "\nThe port: --port P, --address N, --baud B (defaults: what a scan finds); output: --format\n"
           "text|csv|json.\n";
}

// Options that do not belong to the command are an error, not silently ignored.
void CheckOptions(const Command& command, const Options& options) {
  static const std::vector<std::string> shared = {"help", "version", "format", "timing"};
  static const std::vector<std::string> line = {"port", "address", "baud"};
  for (const std::string& name : options.given) {
    const auto in = [&](const std::vector<std::string>& names) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (in(shared) || in(command.own) || (command.line && in(line))) continue;
    throw UsageError(std::string(command.name) + " takes no --" + name);
  }
}

}  // namespace

int Run(const std::vector<std::string>& args, Io& io) {
  try {
    Options options = ParseOptions(args);
    if (options.command == "help") {
      options.help = true;
      options.command = options.words.empty() ? "" : options.words.front();
    }
    if (options.version) {
      io.out << "tamsu-cli " << TAMSU_VERSION << '\n';
      return kExitOk;
    }
    if (options.command.empty()) {
      Usage(options.help ? io.out : io.err);
      return options.help ? kExitOk : kExitUsage;
    }
    const Command* command = Find(options.command);
    if (!command) throw UsageError("unknown command '" + options.command + "' (try --help)");
    if (options.help) {
      CommandUsage(*command, io.out);
      return kExitOk;
    }
    CheckOptions(*command, options);
    return command->run(options, io);
  } catch (const UsageError& error) {
    io.out.flush();
    io.err << "tamsu-cli: " << OneLine(error.what()) << '\n';
    return kExitUsage;
  } catch (const Failure& error) {
    io.out.flush();
    io.err << "tamsu-cli: " << OneLine(error.what()) << '\n';
    return kExitFailed;
  } catch (const std::exception& error) {
    io.out.flush();
    io.err << "tamsu-cli: " << OneLine(error.what()) << '\n';
    return kExitFailed;
  }
}

}  // namespace tamsu::cli
