// The subcommands. Each returns the exit status or throws a UsageError (nothing sent) or a
// Failure; Run() prints either as one line on standard error.
#pragma once

#include "cli/cli.h"
#include "cli/options.h"

namespace tamsu::cli {

int RunPorts(const Options& options, Io& io);
int RunScan(const Options& options, Io& io);
int RunAddress(const Options& options, Io& io);
int RunBaud(const Options& options, Io& io);
int RunRaw(const Options& options, Io& io);
int RunPages(const Options& options, Io& io);
int RunRead(const Options& options, Io& io);
int RunSet(const Options& options, Io& io);
int RunPoll(const Options& options, Io& io);
int RunProvision(const Options& options, Io& io);
int RunSurvey(const Options& options, Io& io);

// The value a connection band box takes, checked as the window checks it before anything is
// sent: an address 1 to 255, a rate of 2400, 4800 or 9600.
int CheckedAddress(const std::string& text);
uint32_t CheckedBaud(const std::string& text);

}  // namespace tamsu::cli
