// The baud-rate scan, and what the configuration exchanges learn about the device on the line.
// Plain C++ over the link, so it runs without widgets: the window reaches in through callbacks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "modbus/modbus_master.h"
#include "modbus/ui.h"
#include "serial/link.h"

namespace tamsu {

// How the device is reached for its address and baud rate: the 0xFD frame, or the register
// block 0x0200-0x0204 at address 255 or 0.
enum class ConfigMode { Legacy, Any255, Any0 };

// What the device last reported through a configuration exchange.
struct DeviceConfig {
  ConfigMode mode = ConfigMode::Legacy;
  int32_t DetectedBaud = 0;
  uint8_t ParityCode = 0;
  uint8_t CommReg3 = 0;
  uint8_t CommReg4 = 0;
  // The raw baud code of the last register-block reply (or the code last written and
  // accepted). An address-only write sends it back unchanged, so it never moves the rate.
  uint8_t ReportedBaudCode = 3;
  // The adapter puts what the tool sends back on the line (heard by the scan's own requests).
  bool echoes = false;
};

// What the scan does to the window while and after it runs.
struct ScanControls {
  std::function<void(bool enabled)> enableScanControls;  // "Test Baud Rate" and the port list
  std::function<void(int address, int baud)> showDevice;  // the address and baud boxes
  std::function<void()> enableDeviceButtons;              // the four Inquire / Set up buttons
  // On the line's own thread: asked before each attempt (the user cancelled: the scan ends
  // there, after the attempt in flight), and told what the next attempt tries.
  std::function<bool()> stopRequested;
  std::function<void(const std::string& what)> progress;  // "Testing 4800 baud…"
};

enum class ScanOutcome { OpenFailed, Legacy, Any255, Any0, Unknown, Stopped };

class BaudScan {
 public:
  static constexpr uint32_t kLegacyRates[3] = {2400, 4800, 9600};
  static constexpr uint32_t kBlockRate = 9600;

  BaudScan(Link& link, ModbusMaster& master, MessageSink& messages, DeviceConfig& config,
           ScanControls controls);

  // Tries the 0xFD query at 2400, 4800 and 9600, then the register block at address 255 and 0
  // at 9600; leaves the port open at the rate that answered and reports the finding.
  ScanOutcome TestBaudRate(const std::string& devicePath);

 private:
  // Notes whether the adapter echoed the scan's requests, and says so once.
  void NoteEcho();
  // Close, configure 8N1 at `baud`, open. False (PortOpen 0) when the open fails.
  bool OpenAt(const std::string& devicePath, uint32_t baud);
  bool TryLegacy();
  bool TryBlock(uint8_t address);
  void ReportBlock(ConfigMode mode);
  void ShowControls(bool enabled);
  // False when the user cancelled; otherwise says what the next attempt tries.
  bool Next(uint32_t baud, const char* at);

  Link& link_;
  ModbusMaster& master_;
  MessageSink& messages_;
  DeviceConfig& config_;
  ScanControls controls_;
  uint8_t foundAddress_ = 0;
};

// Texts shared by the scan, the address and baud exchanges and the window.
inline constexpr char kAppTitle[] = "Tamsu Tools Configuration Software";
inline constexpr char kOpenFailedText[] = "Serial port open failed!";
inline constexpr char kWarningCaption[] = "Warning";
// The open failure's text, with the reason when a network port gave one.
std::string OpenFailedText(const Link& link);

}  // namespace tamsu
