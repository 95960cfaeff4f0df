#include "modbus/modbus_master.h"

#include <bit>

#include "modbus/number_text.h"

namespace tamsu {
namespace {

uint8_t Reported(MessageSink& window, const WriteMessages& messages, uint8_t result) {
  ReportWrite(window, messages, result);
  return result;
}

}  // namespace

ModbusMaster::ModbusMaster(Link& link) : link_(link) {}
ModbusMaster::~ModbusMaster() = default;

size_t ModbusMaster::Exchange(size_t requestLength, std::chrono::milliseconds replyWait, Link::Take take) {
  return link_.Exchange(requestLength, replyWait, ExpectedReply(link_.TxFrame.data(), requestLength), take);
}

uint8_t ModbusMaster::Ended(uint8_t result, bool sent) {
  if (LineObserver* observer = link_.Observer()) {
    const auto since = result == kPortNotOpen || !sent ? Link::Clock::now() : link_.LastRequest();
    observer->Outcome(result, std::chrono::duration_cast<std::chrono::microseconds>(Link::Clock::now() - since));
  }
  return result;
}

uint8_t ModbusMaster::ReadRegisters(uint16_t start, uint16_t count, uint16_t* values,
                                    std::chrono::milliseconds replyWait) {
  if (!link_.PortOpen.load(std::memory_order_acquire)) return Ended(kPortNotOpen);
  // The reply (5 bytes around 2 per register) must fit the reply buffer.
  if (5 + 2 * static_cast<size_t>(count) > Link::kFrameSize) return Ended(kFormatError, false);
  const size_t n = Exchange(BuildReadRequest(link_.TxFrame.data(), link_.CurrentAddress, start, count), replyWait);
  const uint8_t* reply = link_.RxFrame.data();
  const uint8_t result = CheckReadReply(reply, n, link_.CurrentAddress, count);
  if (result == kSuccess)
    for (size_t k = 0; k < count; ++k) values[k] = ReplyRegister(reply, k);
  return Ended(result);
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
  if (!link_.PortOpen.load(std::memory_order_acquire)) return Ended(kPortNotOpen);
  const uint8_t* request = link_.TxFrame.data();
  const size_t n =
      Exchange(BuildWriteSingle(link_.TxFrame.data(), link_.CurrentAddress, reg, static_cast<uint16_t>(value & 0xFFFF)));
  return Ended(CheckWriteSingleReply(link_.RxFrame.data(), n, request));
}

uint8_t ModbusMaster::WriteRegisterPair(uint16_t reg, uint16_t first, uint16_t second) {
  const uint16_t words[] = {first, second};
  return WriteRegisters(reg, words, 2);
}

uint8_t ModbusMaster::WriteRegisters(uint16_t reg, const uint16_t* words, uint16_t count) {
  if (!link_.PortOpen.load(std::memory_order_acquire)) return Ended(kPortNotOpen);
  if (count == 0 || count > kMaxWriteMany) return Ended(kFormatError, false);
  const size_t length = BuildWriteMany(link_.TxFrame.data(), link_.CurrentAddress, reg, words, count);
  const size_t n = Exchange(length);
  return Ended(CheckWriteTwoReply(link_.RxFrame.data(), n, link_.TxFrame.data(), length));
}

uint8_t ModbusMaster::WriteRegister32(uint16_t reg, uint32_t value) {
  return WriteRegisterPair(reg, static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value & 0xFFFF));
}

uint8_t ModbusMaster::Show(MessageSink& window, EditField& field, uint16_t reg, const Representation& shown,
                          const ReadMessages& messages, bool keep, bool showErrors, uint32_t* read) {
  if (!keep) field.SetText("");
  uint32_t value = 0;
  uint8_t result;
  if (shown.Words() == 2) {
    result = ReadRegister32(reg, value);
  } else {
    uint16_t word = 0;
    result = ReadRegister(reg, word);
    value = word;
  }
  if (result == kSuccess) {
    field.SetText(Present(shown, value));
    if (read) *read = value;
  } else if (showErrors) {
    ReportFailure(window, messages, result);
  }
  return result;
}

namespace {
Representation Whole() { return {}; }
Representation Fixed(Representation::Kind kind, double scale, int decimals) {
  return {.kind = kind, .scale = scale, .decimals = decimals >= 0 && decimals <= 3 ? decimals : 0};
}
}  // namespace

uint8_t ModbusMaster::ShowRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return Show(window, field, reg, Whole(), kShowRegisterMessages, false, showErrors);
}

uint8_t ModbusMaster::ShowRegisterNoClear(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return Show(window, field, reg, Whole(), kShowNoClearMessages, true, showErrors);
}

uint8_t ModbusMaster::ShowStatusRegister(MessageSink& window, EditField& field, uint16_t reg, uint16_t normalCode,
                                         uint16_t warningCode, bool showErrors) {
  const Representation status{.kind = Representation::Kind::Codes,
                              .codes = {{normalCode, "Normal"}, {warningCode, "Warning"}}};
  return Show(window, field, reg, status, kShowNoClearMessages, false, showErrors);
}

uint8_t ModbusMaster::ShowScaled(MessageSink& window, EditField& field, uint16_t reg, double scale, int decimals,
                                 bool showErrors) {
  return Show(window, field, reg, Fixed(Representation::Kind::Unsigned, scale, decimals), kShowScaledMessages,
              false, showErrors);
}

uint8_t ModbusMaster::ShowScaledSigned(MessageSink& window, EditField& field, uint16_t reg, double scale,
                                       int decimals, bool showErrors) {
  return Show(window, field, reg, Fixed(Representation::Kind::Signed, scale, decimals), kShowRegisterMessages,
              false, showErrors);
}

uint8_t ModbusMaster::ShowRegister32(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return Show(window, field, reg, {.kind = Representation::Kind::Unsigned32}, kShowRegister32Messages, false,
              showErrors);
}

uint8_t ModbusMaster::ShowFloatRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors) {
  return Show(window, field, reg, {.kind = Representation::Kind::Float}, kShowFloatMessages, false, showErrors);
}

uint8_t ModbusMaster::WriteFieldInt(MessageSink& window, EditField& field, uint16_t reg,
                                    const WriteMessages& messages) {
  return Reported(window, messages, WriteRegister(reg, DialogUInt(field.GetText())));
}

uint8_t ModbusMaster::WriteFieldScaled(MessageSink& window, EditField& field, uint16_t reg, int scale,
                                       const WriteMessages& messages) {
  return Reported(window, messages, WriteRegister(reg, Low16(TextToDouble(field.GetText()) * scale)));
}

uint8_t ModbusMaster::WriteFieldScaled32(MessageSink& window, EditField& field, uint16_t reg, int scale,
                                         const WriteMessages& messages) {
  return Reported(window, messages, WriteRegister32(reg, Low32(TextToDouble(field.GetText()) * scale)));
}

uint8_t ModbusMaster::WriteFieldFloat(MessageSink& window, EditField& field, uint16_t reg,
                                      const WriteMessages& messages) {
  return Reported(window, messages,
                  WriteRegister32(reg, std::bit_cast<uint32_t>(ToSingle(TextToDouble(field.GetText())))));
}

void ReportFailure(MessageSink& window, const ReadMessages& messages, uint8_t result) {
  if (result >= 1 && result <= 3) window.ShowMessage(messages.text[result - 1], messages.caption, messages.icon);
}

void ReportWrite(MessageSink& window, const WriteMessages& messages, uint8_t result) {
  if (result == kSuccess) window.ShowMessage(messages.successText, messages.successCaption, messages.successIcon);
  else ReportFailure(window, messages.failure, result);
}

}  // namespace tamsu
