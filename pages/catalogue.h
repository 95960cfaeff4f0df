// Every device page of the tool, in its category and tab, as the window shows them.
#pragma once

#include <string_view>

#include "device/catalogue.h"

namespace tamsu {

// Built once, on first use; read-only after that, so any thread may read it.
const Catalogue& PageCatalogue();
// A page by its class name ("Co2Page"); null if there is none.
const PageDeclaration* FindPage(std::string_view name);

}  // namespace tamsu
