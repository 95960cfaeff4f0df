// What every window and page of the tool is handed: the line, the one message sink, and the
// line's own thread every exchange runs on.
#pragma once

#include "modbus/ui.h"
#include "serial/link.h"
#include "view/line_thread.h"

namespace tamsu {

struct AppContext {
  Link& link;
  MessageSink& messages;
  LineThread& line;
};

}  // namespace tamsu
