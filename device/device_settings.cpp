#include "device/device_settings.h"

#include <optional>

#include "modbus/frames.h"
#include "modbus/number_text.h"

namespace tamsu {

DeviceSettings::DeviceSettings(Link& link, ModbusMaster& master, MessageSink& messages, DeviceConfig& config)
    : link_(link), master_(master), messages_(messages), config_(config) {}

bool DeviceSettings::Inquire(const std::function<void(int address, int baud)>& show) {
  uint8_t* tx = link_.TxFrame.data();
  const size_t length = config_.mode == ConfigMode::Legacy   ? BuildLegacyQuery(tx)
                        : config_.mode == ConfigMode::Any255 ? BuildCommParamRead(tx, 255)
                                                             : BuildCommParamRead(tx, 0);
  const size_t n = master_.Exchange(length);
  const uint8_t* rx = link_.RxFrame.data();
  if (n <= 3) return false;
  if (config_.mode == ConfigMode::Legacy) {
    const auto reply = ParseLegacyReply(rx, n);
    if (!reply) return false;
    link_.CurrentAddress = reply->address;
    config_.DetectedBaud = static_cast<int32_t>(reply->baud);
    show(reply->address, config_.DetectedBaud);
    return true;
  }
  const auto reply = ParseCommParamReply(rx, n);
  if (!reply) return false;
  config_.DetectedBaud = static_cast<int32_t>(reply->baud);
  config_.ParityCode = reply->ParityCode;
  config_.CommReg3 = reply->CommReg3;
  config_.CommReg4 = reply->CommReg4;
  config_.ReportedBaudCode = reply->baudCode;
  show(reply->address, config_.DetectedBaud);
  // Requests keep going to the address the device answers on in this mode.
  link_.CurrentAddress = config_.mode == ConfigMode::Any255 ? 255 : 0;
  return true;
}

SettingOutcome DeviceSettings::WriteBlock(uint8_t newAddress, uint8_t baudCode) {
  const uint8_t at = config_.mode == ConfigMode::Any255 ? 255 : 0;
  const size_t n = master_.Exchange(BuildCommParamWrite(link_.TxFrame.data(), at, newAddress, baudCode));
  if (n <= 3) return SettingOutcome::NoReply;
  // Only the device's acknowledgement counts: an exception reply carries a good CRC too.
  return CheckCommParamWriteReply(link_.RxFrame.data(), n, at) ? SettingOutcome::Accepted : SettingOutcome::Rejected;
}

SettingOutcome DeviceSettings::SetAddress(const std::string& addressText) {
  const uint8_t address = static_cast<uint8_t>(DialogInt(addressText) & 0xFF);
  if (address == 0) {
    messages_.ShowMessage("Address Cannot be 0", kAppTitle, MessageIcon::None);
    return SettingOutcome::Refused;
  }
  const ConfigMode mode = config_.mode;
  SettingOutcome outcome;
  if (mode == ConfigMode::Legacy) {
    const size_t n = master_.Exchange(BuildLegacySetAddress(link_.TxFrame.data(), address));
    const auto reply = n > 3 ? ParseLegacyReply(link_.RxFrame.data(), n) : std::nullopt;
    outcome = n <= 3 ? SettingOutcome::NoReply : reply ? SettingOutcome::Accepted : SettingOutcome::Rejected;
    if (reply) {
      link_.CurrentAddress = reply->address;
      config_.DetectedBaud = static_cast<int32_t>(reply->baud);
    }
  } else {
    // The rate is written back as the device reported it, so an address change never moves it.
    outcome = WriteBlock(address, config_.ReportedBaudCode);
  }
  switch (outcome) {
    case SettingOutcome::Accepted:
      messages_.ShowMessage(mode == ConfigMode::Any255 ? "Address set successfully!" : "Address set successfully",
                            kAppTitle, MessageIcon::None);
      break;
    case SettingOutcome::NoReply:
      messages_.ShowMessage("Address setting failed!", mode == ConfigMode::Any0 ? "Warnging" : kWarningCaption,
                            MessageIcon::Question);
      break;
    default:
      messages_.ShowMessage("Address setting failed!", kWarningCaption, MessageIcon::Question);
      break;
  }
  return outcome;
}

SettingOutcome DeviceSettings::SetBaud(const std::string& addressText, const std::string& baudText,
                                       const std::string& portPath) {
  const uint8_t address = static_cast<uint8_t>(DialogInt(addressText) & 0xFF);
  if (address == 0) {
    messages_.ShowMessage("Address cannot be 0", kAppTitle, MessageIcon::None);
    return SettingOutcome::Refused;
  }
  const int32_t baud = DialogInt(baudText);
  if (baud != 2400 && baud != 4800 && baud != 9600) {
    messages_.ShowMessage("Baudrate Error", kAppTitle, MessageIcon::None);
    return SettingOutcome::Refused;
  }
  // Through a raw TCP gateway the tool cannot follow the device to its new rate: only the
  // gateway's own setting can, so the user decides.
  if (link_.PortOpen.load() != 0 && !link_.Port.SetsLineRate() &&
      !messages_.Confirm("The transmitter is reached through a network gateway whose rate this tool cannot change. "
                         "After this change the transmitter talks at " + std::to_string(baud) +
                             " baud and leaves the gateway's rate: it is heard again only once the gateway is set "
                             "to " + std::to_string(baud) + " baud too.\n\nChange the transmitter's rate?",
                         kWarningCaption)) {
    return SettingOutcome::Refused;
  }
  const auto code = static_cast<uint8_t>(BaudCodeOf(static_cast<uint32_t>(baud)));
  std::optional<LegacyReply> legacy;
  SettingOutcome outcome;
  if (config_.mode == ConfigMode::Legacy) {
    const size_t n = master_.Exchange(BuildLegacySetBaud(link_.TxFrame.data(), code));
    legacy = n > 3 ? ParseLegacyReply(link_.RxFrame.data(), n) : std::nullopt;
    outcome = n <= 3 ? SettingOutcome::NoReply : legacy ? SettingOutcome::Accepted : SettingOutcome::Rejected;
  } else {
    outcome = WriteBlock(address, code);
  }
  if (outcome != SettingOutcome::Accepted) {
    messages_.ShowMessage("Baudrate setting failed!", kWarningCaption, MessageIcon::Question);
    return outcome;
  }
  if (config_.mode != ConfigMode::Legacy) {
    // Remembered only now the device has taken it: a later address-only write keeps it.
    config_.ReportedBaudCode = code;
    messages_.ShowMessage("Baudrate set successfully", kAppTitle, MessageIcon::None);
    return outcome;
  }
  link_.CurrentAddress = legacy->address;
  config_.DetectedBaud = static_cast<int32_t>(legacy->baud);
  messages_.ShowMessage("Baudrate set successfully", kAppTitle, MessageIcon::None);
  // The device now talks at the new rate: follow it on the port it was found on (the list's
  // selection may have moved since the scan).
  std::string path = link_.Port.Settings().devicePath;
  if (path.empty()) path = portPath;
  if (link_.ReopenPort(path, static_cast<uint32_t>(baud)) == 0) {
    // Say so: otherwise every page would only report a closed port with no hint why.
    messages_.ShowMessage(OpenFailedText(link_), kWarningCaption, MessageIcon::Question);
  }
  return outcome;
}

}  // namespace tamsu
