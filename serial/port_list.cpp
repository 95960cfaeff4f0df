#include "serial/port_list.h"

#include <algorithm>
#include <cstdio>

namespace tamsu {

std::string DescribeSystemPort(const SystemPort& port) {
  std::vector<std::string> parts;
  for (const std::string& text : {port.manufacturer, port.description})
    if (!text.empty() && std::find(parts.begin(), parts.end(), text) == parts.end()) parts.push_back(text);
  if (port.vendorId && port.productId) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", unsigned{*port.vendorId}, unsigned{*port.productId});
    parts.push_back(std::string("USB ") + ids);
  }
  if (!port.serialNumber.empty()) parts.push_back("serial " + port.serialNumber);
  parts.push_back(port.path);
  std::string about;
  for (const std::string& part : parts) about += (about.empty() ? "" : ", ") + part;
  return about;
}

std::string DescribeNetworkPort(const std::string& address) {
  if (ParseNetworkAddress(address).kind == NetworkKind::Rfc2217)
    return "Network port: a serial gateway with COM port control (RFC 2217), rate set from here";
  return "Network port: RTU bytes over TCP through a serial gateway, at the gateway's own rate";
}

const char* PortStateName(PortState state) {
  switch (state) {
    case PortState::Available: return "available";
    case PortState::InUse: return "in use";
    case PortState::Busy: return "busy";
    case PortState::NoPermission: return "no permission";
    case PortState::Remembered: return "remembered";
  }
  return "available";
}

const char* PortKindName(PortKind kind) {
  switch (kind) {
    case PortKind::Serial: return "serial";
    case PortKind::Virtual: return "virtual";
    case PortKind::Network: return "network";
  }
  return "serial";
}

std::vector<PortListEntry> ListPorts(const PortListContext& context, const PortListSources& sources) {
  std::vector<PortListEntry> entries;
  auto consider = [&](PortListEntry entry) {
    if (std::any_of(entries.begin(), entries.end(), [&](const PortListEntry& e) { return e.path == entry.path; }))
      return;
    if (!context.held.empty() && entry.path == context.held) {  // ours: busy to a probe, yet the one in use
      entry.state = PortState::InUse;
      entries.push_back(std::move(entry));
      return;
    }
    const PortProbe probe = sources.probe(entry.path);
    switch (probe.status) {
      case PortStatus::Available: break;
      case PortStatus::Missing: return;
      case PortStatus::Busy:
        if (!context.keepBusy) return;
        entry.state = PortState::Busy;
        break;
      case PortStatus::NoPermission:
        entry.state = PortState::NoPermission;
        entry.about = probe.hint;
        break;
    }
    entries.push_back(std::move(entry));
  };
  for (const SystemPort& port : sources.system())
    consider({port.name, port.path, PortKind::Serial, PortState::Available, DescribeSystemPort(port)});
  for (const VirtualPort& port : sources.virtuals())
    consider({port.name, port.devicePath, PortKind::Virtual, PortState::Available, port.devicePath});
  std::stable_sort(entries.begin(), entries.end(),
                   [](const PortListEntry& a, const PortListEntry& b) { return NaturalLess(a.name, b.name); });

  std::vector<std::string> network = sources.remembered();
  for (const std::string& extra : {context.held, context.typed})
    if (IsNetworkPath(extra) && std::find(network.begin(), network.end(), extra) == network.end())
      network.insert(network.begin(), extra);
  for (const std::string& address : network)
    entries.push_back({address, address, PortKind::Network,
                       address == context.held ? PortState::InUse : PortState::Remembered, DescribeNetworkPort(address)});
  return entries;
}

}  // namespace tamsu
