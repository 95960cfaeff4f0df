// The commissioning record: what the shown page displays now, with when, where and on which
// device it was read, as a CSV file a spreadsheet opens (UTF-8, one header line, one line per
// field, the decimal point always "."). Written only when the user asks, to the file they pick.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "view/device_page.h"

namespace tamsu {

inline constexpr char kSaveRecordMenuText[] = "Save record\u2026";

struct CommissioningRecord {
  QDateTime when{};
  QString port{};      // the device path of the port in use ("" when none is open)
  QString address{};   // the slave address and baud rate as the connection band shows them
  QString baud{};
  QString page{};      // as the tabs name it ("Gas / MG11")
  std::vector<FieldReading> fields{};
};

// The record of `page` now.
CommissioningRecord RecordOf(const DevicePage& page, QDateTime when, QString port, QString address, QString baud,
                             QString pageCaption);

// The CSV text: the header line, then one line per field; every line ends in CRLF.
std::string RecordCsv(const CommissioningRecord& record);

// Writes the record to `path` whole or not at all (an existing file is replaced only once the
// new one is complete). On failure, false and why.
bool SaveRecordFile(const CommissioningRecord& record, const QString& path, QString* error);

// A file name to offer: the page and the time ("Gas-MG11-20240501-140322.csv").
QString SuggestedRecordName(const CommissioningRecord& record);

}  // namespace tamsu
