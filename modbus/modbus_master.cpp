#include "modbus/modbus_master.h"

#include <bit>
#include <chrono>

#include "modbus/number_text.h"

namespace tamsu {
namespace {

// The failure texts of one message family, by result 1, 2, 3.
struct Messages {
  const char* caption;
  const char* text[3];
};

constexpr Messages kShowRegisterMessages{"Warning", {"Serial port not open!", "Read format error!", "Check value error!"}};
constexpr Messages kShowNoClearMessages{"Warning", {"Serial port not open!", "Read format Error!", "Check Value Error!"}};
constexpr Messages kShowRegister32Messages{"Warning", {"Serial port not open!", "Read format error!", "Check Value error!"}};
constexpr Messages kShowFloatMessages{"Warning", {"Serial port not open!", "Read format error!", "Check Value Error!"}};
constexpr Messages kShowScaledMessages{"警告", {"串口未打开", "读取格式错误", "设备校验值错误"}};
constexpr Messages kFieldWriteMessages{
    "Warning",
    {"Serial port not open!", "Return value error or device not responding!", "Receiving and sending data are inconsistent!"}};

void Report(MessageSink& window, const Messages& messages, uint8_t result) {
  if (result >= 1 && result <= 3) window.ShowMessage(messages.text[result - 1], messages.caption, MessageIcon::Exclamation);
}

// Reads into the field: cleared first unless `clear` is false, filled with format(value) on
// success, the family's message on failure when asked.
template <typename Value, typename Read, typename Format>
uint8_t ShowWith(MessageSink& window, EditField& field, bool clear, const Messages& messages, bool showErrors,
                 Read read, Format format) {
  if (clear) field.SetText("");
  Value value{};
  const uint8_t result = read(value);
  if (result == kSuccess) field.SetText(format(value));
  else if (showErrors) Report(window, messages, result);
  return result;
}

auto Read16(ModbusMaster& master, uint16_t reg) {
  return [&master, reg](uint16_t& v) { return master.ReadRegister(reg, v); };
}

uint8_t ReportWrite(MessageSink& window, uint8_t result) {
  if (result == kSuccess) window.ShowMessage("Write Successfully", "", MessageIcon::Exclamation);
  else Report(window, kFieldWriteMessages, result);
  return result;
}

}  // namespace

ModbusMaster::ModbusMaster(Link& link) : link_(link) {}
ModbusMaster::~ModbusMaster() = default;

size_t ModbusMaster::Exchange(size_t requestLength) { return link_.Exchange(requestLength); }

uint8_t ModbusMaster::ReadRegisters(uint16_t start, uint16_t count, uint16_t* values) {
  if (!link_.PortOpen.load(std::memory_order_acquire)) return kPortNotOpen;
  // The reply (5 bytes around 2 per register) must fit the reply buffer.
  if (5 + 2 * static_cast<size_t>(count) > Link::kFrameSize) return kFormatError;
  const size_t n = Exchange(BuildReadRequest(link_.TxFrame.data(), link_.CurrentAddress, start, count));
  const uint8_t* reply = link_.RxFrame.data();
  const uint8_t result = CheckReadReply(reply, n, link_.CurrentAddress, count);
  if (result != kSuccess) return result;
  for (size_t k = 0; k < count; ++k) values[k] = ReplyRegister(reply, k);
  return kSuccess;
}

uint8_t ModbusMaster::ReadRegister(uint16_t reg, uint16_t& value) { return ReadRegisters(reg, 1, &value); }

uint8_t ModbusMaster::ReadRegister32(uint16_t reg, uint32_t& value) {
  uint16_t words[2] = {};
  const uint8_t result = ReadRegisters(reg, 2, words);
  if (result == kSuccess) value = static_cast<uint32_t>(words[0]) << 16 | words[1];
  return result;
}

uint8_t ModbusMaster::ReadFloatRegister(uint16_t reg, float& value) {
  uint32_t bits = 0;
  const uint8_t result = ReadRegister32(reg, bits);
  if (result == kSuccess) value = std::bit_cast<float>(bits);
  return result;
}

uint8_t ModbusMaster::WriteRegister(uint16_t reg, uint32_t value) {
  if (!link_.PortOpen.load(std::memory_order_acquire)) return kPortNotOpen;
  const uint8_t* request = link_.TxFrame.data();
  const size_t n =
      Exchange(BuildWriteSingle(link_.TxFrame.data(), link_.CurrentAddress, reg, static_cast<uint16_t>(value & 0xFFFF)));
  return CheckWriteSingleReply(link_.RxFrame.data(), n, request);
}

uint8_t ModbusMaster::WriteRegisterPair(uint16_t reg, uint16_t first, uint16_t second) {
  if (!link_.PortOpen.load(std::memory_order_acquire)) return kPortNotOpen;
  const size_t length = BuildWriteTwo(link_.TxFrame.data(), link_.CurrentAddress, reg, first, second);
  const size_t n = Exchange(length);
  return CheckWriteTwoReply(link_.RxFrame.data(), n, link_.TxFrame.data(), length);
}

uint8_t ModbusMaster::WriteRegister32(uint16_t reg, uint32_t value) {
  return WriteRegisterPair(reg, static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value & 0xFFFF));
}

uint8_t ModbusMaster::ShowRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return ShowWith<uint16_t>(window, field, true, kShowRegisterMessages, showErrors, Read16(*this, reg),
                            [](uint16_t v) { return std::to_string(v); });
}

uint8_t ModbusMaster::ShowRegisterNoClear(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return ShowWith<uint16_t>(window, field, false, kShowNoClearMessages, showErrors, Read16(*this, reg),
                            [](uint16_t v) { return std::to_string(v); });
}

uint8_t ModbusMaster::ShowStatusRegister(MessageSink& window, EditField& field, uint16_t reg, uint16_t normalCode,
                                         uint16_t warningCode, bool showErrors) {
  return ShowWith<uint16_t>(window, field, true, kShowNoClearMessages, showErrors, Read16(*this, reg),
                            [&](uint16_t v) -> std::string {
                              if (v == normalCode) return "Normal";
                              if (v == warningCode) return "Warning";
                              return "err";
                            });
}

uint8_t ModbusMaster::ShowScaled(MessageSink& window, EditField& field, uint16_t reg, double scale, int decimals,
                                 bool showErrors) {
  return ShowWith<uint16_t>(window, field, true, kShowScaledMessages, showErrors, Read16(*this, reg),
                            [&](uint16_t v) { return FormatScaled(v * scale, decimals); });
}

uint8_t ModbusMaster::ShowScaledSigned(MessageSink& window, EditField& field, uint16_t reg, double scale,
                                       int decimals, bool showErrors) {
  return ShowWith<uint16_t>(window, field, true, kShowRegisterMessages, showErrors, Read16(*this, reg),
                            [&](uint16_t v) { return FormatScaled(static_cast<int16_t>(v) * scale, decimals); });
}

uint8_t ModbusMaster::ShowRegister32(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return ShowWith<uint32_t>(window, field, true, kShowRegister32Messages, showErrors,
                            [&](uint32_t& v) { return ReadRegister32(reg, v); },
                            [](uint32_t v) { return std::to_string(v); });
}

uint8_t ModbusMaster::ShowFloatRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return ShowWith<float>(window, field, true, kShowFloatMessages, showErrors,
                         [&](float& v) { return ReadFloatRegister(reg, v); },
                         [](float v) { return FormatFloat(v); });
}

uint8_t ModbusMaster::WriteFieldInt(MessageSink& window, EditField& field, uint16_t reg) {
  return ReportWrite(window, WriteRegister(reg, DialogUInt(field.GetText())));
}

uint8_t ModbusMaster::WriteFieldScaled(MessageSink& window, EditField& field, uint16_t reg, int scale) {
  return ReportWrite(window, WriteRegister(reg, Low16(TextToDouble(field.GetText()) * scale)));
}

uint8_t ModbusMaster::WriteFieldScaled32(MessageSink& window, EditField& field, uint16_t reg, int scale) {
  return ReportWrite(window, WriteRegister32(reg, Low32(TextToDouble(field.GetText()) * scale)));
}

uint8_t ModbusMaster::WriteFieldFloat(MessageSink& window, EditField& field, uint16_t reg) {
  return ReportWrite(window, WriteRegister32(reg, std::bit_cast<uint32_t>(ToSingle(TextToDouble(field.GetText())))));
}

}  // namespace tamsu
