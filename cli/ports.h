// `tamsu-cli ports`: the window's port list (serial/port_list.h) as text, and what --port names.
#pragma once

#include <string>
#include <vector>

namespace tamsu::cli {

struct PortEntry {
  std::string name;   // as the window's port list shows it
  std::string path;   // what is opened
  std::string kind;   // "serial", "virtual", "network"
  std::string state;  // "available", "in use", "busy", "no permission", "remembered"
  std::string about;  // the adapter (maker, product, USB ids, serial number) or the fix for a permission
};

// Every port of the window's list, in its order, and the ones another program holds, marked busy.
std::vector<PortEntry> ListPorts();

bool IsNetworkPort(const std::string& port);

// What --port names: a network address as given; the name of a listed port its path; else
// the path as given. A device path that does not exist, is busy or may not be opened is a
// Failure of the port (nothing is sent).
std::string ResolvePort(const std::string& given);

}  // namespace tamsu::cli
