#include "device/baud_scan.h"

#include <cstdio>
#include <utility>

#include "modbus/frames.h"

namespace tamsu {

namespace {

// Full-width colons, as the device maker's texts have them.
constexpr char kColon[] = "\xEF\xBC\x9A";

std::string Format(const char* pattern, int address, int baud) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, kColon, address, kColon, baud);
  return text;
}

}  // namespace

BaudScan::BaudScan(Link& link, ModbusMaster& master, MessageSink& messages, DeviceConfig& config,
                   ScanControls controls)
    : link_(link), master_(master), messages_(messages), config_(config), controls_(std::move(controls)) {}

void BaudScan::ShowControls(bool enabled) {
  if (controls_.enableScanControls) controls_.enableScanControls(enabled);
}

bool BaudScan::Next(uint32_t baud, const char* at) {
  if (controls_.stopRequested && controls_.stopRequested()) return false;
  if (controls_.progress) controls_.progress("Testing " + std::to_string(baud) + " baud" + at + "\u2026");
  return true;
}

bool BaudScan::OpenAt(const std::string& devicePath, uint32_t baud) {
  if (link_.ReopenPort(devicePath, baud) == 0) return false;
  ShowControls(false);
  return true;
}

void BaudScan::NoteEcho() {
  if (config_.echoes || !link_.Echoes()) return;
  config_.echoes = true;
  if (controls_.progress) controls_.progress(kEchoesText);
}

bool BaudScan::TryLegacy() {
  const size_t length = BuildLegacyQuery(link_.TxFrame.data());
  const size_t n = master_.Exchange(length);
  NoteEcho();
  if (n <= 3) return false;
  const auto reply = ParseLegacyReply(link_.RxFrame.data(), n);
  if (!reply) return false;
  link_.CurrentAddress = reply->address;
  config_.DetectedBaud = static_cast<int32_t>(reply->baud);
  return true;
}

bool BaudScan::TryBlock(uint8_t address) {
  const size_t length = BuildCommParamRead(link_.TxFrame.data(), address);
  const size_t n = master_.Exchange(length);
  NoteEcho();
  if (n <= 3) return false;
  const auto reply = ParseCommParamReply(link_.RxFrame.data(), n);
  if (!reply) return false;
  foundAddress_ = reply->address;
  link_.CurrentAddress = reply->address;
  config_.DetectedBaud = static_cast<int32_t>(reply->baud);
  config_.ParityCode = reply->ParityCode;
  config_.CommReg3 = reply->CommReg3;
  config_.CommReg4 = reply->CommReg4;
  config_.ReportedBaudCode = reply->baudCode;
  return true;
}

void BaudScan::ReportBlock(ConfigMode mode) {
  if (controls_.showDevice) controls_.showDevice(foundAddress_, config_.DetectedBaud);
  const bool any255 = mode == ConfigMode::Any255;
  std::string text = Format(any255 ? "Soil Transmitter\r\nAddress%s%d  BaudRate%s%d\r\n"
                                   : "Soil Transmitter\r\nAddress%s%d  Baudrate%s%d\r\n",
                            foundAddress_, config_.DetectedBaud);
  text += ParityText(config_.ParityCode);
  if (config_.CommReg3 == 0 && config_.CommReg4 == 1) {
    messages_.ShowMessage(text, any255 ? "Test Result" : "Test Results", MessageIcon::None);
  } else {
    text += "\r\nStop bit exception,please reconfigure address or baud rate";
    messages_.ShowMessage(text, "Abnormal test results", MessageIcon::Question);
  }
  ShowControls(true);
  if (controls_.enableDeviceButtons) controls_.enableDeviceButtons();
  config_.mode = mode;
  // From now on every request goes to the address the device answers on in this mode.
  link_.CurrentAddress = any255 ? 255 : 0;
}

ScanOutcome BaudScan::TestBaudRate(const std::string& devicePath) {
  config_.mode = ConfigMode::Legacy;
  // Whether the adapter echoes is found out anew: it may be another one on the same port.
  config_.echoes = false;
  link_.SetEchoes(false);
  auto openFailed = [this] {
    messages_.ShowMessage(OpenFailedText(link_), kWarningCaption, MessageIcon::Question);
    ShowControls(true);
    return ScanOutcome::OpenFailed;
  };

  // Cancelled between attempts: the controls come back, no box, the port as the last attempt
  // left it.
  auto stopped = [this] {
    ShowControls(true);
    return ScanOutcome::Stopped;
  };

  for (uint32_t baud : kLegacyRates) {
    if (!Next(baud, "")) return stopped();
    if (!OpenAt(devicePath, baud)) return openFailed();
    if (!TryLegacy()) {
      // Over raw TCP the gateway's rate is the only one there is: one try at it is enough.
      if (!link_.Port.SetsLineRate()) break;
      continue;
    }
    if (controls_.showDevice) controls_.showDevice(link_.CurrentAddress, config_.DetectedBaud);
    messages_.ShowMessage(Format("Device address%s%d  BaudRate%s%d", link_.CurrentAddress, config_.DetectedBaud),
                          "Test Result", MessageIcon::None);
    ShowControls(true);
    if (controls_.enableDeviceButtons) controls_.enableDeviceButtons();
    return ScanOutcome::Legacy;
  }

  if (!Next(kBlockRate, " at address 255")) return stopped();
  if (!OpenAt(devicePath, kBlockRate)) return openFailed();
  if (TryBlock(255)) {
    ReportBlock(ConfigMode::Any255);
    return ScanOutcome::Any255;
  }

  if (!Next(kBlockRate, " at address 0")) return stopped();
  if (!OpenAt(devicePath, kBlockRate)) return openFailed();
  if (TryBlock(0)) {
    ReportBlock(ConfigMode::Any0);
    return ScanOutcome::Any0;
  }
  ShowControls(true);
  messages_.ShowMessage("End of Test UnKnow BaudRate", "Test Result", MessageIcon::None);
  if (config_.echoes && controls_.progress) controls_.progress(kEchoesText);
  return ScanOutcome::Unknown;
}

std::string OpenFailedText(const Link& link) {
  const std::string& why = link.Port.LastError();
  return why.empty() ? std::string(kOpenFailedText) : std::string(kOpenFailedText) + "\n\n" + why;
}

}  // namespace tamsu
