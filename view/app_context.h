// What every window and page of the tool is handed: the line and the one message sink.
#pragma once

#include "modbus/ui.h"
#include "serial/link.h"

namespace tamsu {

struct AppContext {
  Link& link;
  MessageSink& messages;
};

}  // namespace tamsu
