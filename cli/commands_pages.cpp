// The subcommands on the pages: their list, reads, writes with read-back, and polls.
#include "cli/commands.h"

namespace tamsu::cli {

int RunPages(const Options&, Io&) { throw Failure("pages: not available yet"); }
int RunRead(const Options&, Io&) { throw Failure("read: not available yet"); }
int RunSet(const Options&, Io&) { throw Failure("set: not available yet"); }
int RunPoll(const Options&, Io&) { throw Failure("poll: not available yet"); }
int RunProvision(const Options&, Io&) { throw Failure("provision: not available yet"); }

}  // namespace tamsu::cli
