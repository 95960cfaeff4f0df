// The message families of the transactions: the texts a read shows for results 1, 2 and 3,
// and what a write shows for success and for each failure. The Show operations and field
// writes have theirs; several devices' pages carry their own wording, letter for letter.
#pragma once

#include "modbus/ui.h"

namespace tamsu {

struct ReadMessages {
  const char* caption;
  const char* text[3];  // port not open, no reply or bad format, check value
  MessageIcon icon = MessageIcon::Exclamation;
};

struct WriteMessages {
  const char* successText;
  const char* successCaption;
  MessageIcon successIcon;
  ReadMessages failure;
};

// The Show operations' own.
inline constexpr ReadMessages kShowRegisterMessages{
    "Warning", {"Serial port not open!", "Read format error!", "Check value error!"}};
inline constexpr ReadMessages kShowNoClearMessages{
    "Warning", {"Serial port not open!", "Read format Error!", "Check Value Error!"}};
inline constexpr ReadMessages kShowRegister32Messages{
    "Warning", {"Serial port not open!", "Read format error!", "Check Value error!"}};
inline constexpr ReadMessages kShowFloatMessages{
    "Warning", {"Serial port not open!", "Read format error!", "Check Value Error!"}};
inline constexpr ReadMessages kShowScaledMessages{"警告", {"串口未打开", "读取格式错误", "设备校验值错误"}};

// The field writes' own.
inline constexpr WriteMessages kFieldWriteMessages{
    "Write Successfully",
    "",
    MessageIcon::Exclamation,
    {"Warning",
     {"Serial port not open!", "Return value error or device not responding!",
      "Receiving and sending data are inconsistent!"}}};

// Families that device pages use for their own reads and writes.
inline constexpr ReadMessages kNotOpenedReadMessages{
    "Warning", {"Serial port not opened", "Reading format error", "Device check value error"}};
inline constexpr WriteMessages kWriteSuccessMessages{
    "Write Success",
    "",
    MessageIcon::Information,
    {"Warning",
     {"Serial port not opened", "The return value is incorrect or the device is not responding",
      "The received data is inconsistent with the transmitted data"}}};

// Shows the family's text for a failed result 1..3 (nothing for 0).
void ReportFailure(MessageSink& window, const ReadMessages& messages, uint8_t result);
// Shows the success box or the failure text of a write's result.
void ReportWrite(MessageSink& window, const WriteMessages& messages, uint8_t result);

}  // namespace tamsu
