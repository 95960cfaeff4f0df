// The address and baud-rate exchanges of the connection band ("Inquire", "Set up"), in the
// three configuration modes. Plain C++ over the link, like the scan: the window hands in what
// its boxes hold and shows what comes back through a callback.
#pragma once

#include <functional>
#include <string>

#include "device/baud_scan.h"
#include "modbus/modbus_master.h"
#include "modbus/ui.h"
#include "serial/link.h"

namespace tamsu {

enum class SettingOutcome {
  Refused,   // the boxes hold no valid request: nothing sent
  NoReply,   // nothing, or three bytes or fewer
  Rejected,  // an answer other than the device's acknowledgement (an exception, another frame)
  Accepted,
};

class DeviceSettings {
 public:
  DeviceSettings(Link& link, ModbusMaster& master, MessageSink& messages, DeviceConfig& config);

  // Reads the device's address and rate. On an answer `show(address, baud)` is called and the
  // result is true; on none nothing is shown (the window has blanked its boxes).
  bool Inquire(const std::function<void(int address, int baud)>& show);
  // "Set up" of the address; shows exactly one box per outcome.
  SettingOutcome SetAddress(const std::string& addressText);
  // "Set up" of the rate; in the legacy mode an accepted change re-opens the port at the new
  // rate on the port in use (or `portPath` when none is).
  SettingOutcome SetBaud(const std::string& addressText, const std::string& baudText, const std::string& portPath);

 private:
  // Sends the register-block write in the block modes and tells whether the device acknowledged it.
  SettingOutcome WriteBlock(uint8_t newAddress, uint8_t baudCode);

  Link& link_;
  ModbusMaster& master_;
  MessageSink& messages_;
  DeviceConfig& config_;
};

}  // namespace tamsu
