#include "app/commissioning_record.h"

#include <QRegularExpression>
#include <utility>

#include "app/save_file.h"
#include "device/field_text.h"

namespace tamsu {

namespace {

constexpr auto kTimeFormat = "yyyy-MM-dd HH:mm:ss";

std::string Cell(const QString& value) { return RecordCell(value.toStdString()); }

}  // namespace

CommissioningRecord RecordOf(const DevicePage& page, QDateTime when, QString port, QString address, QString baud,
                             QString pageCaption) {
  return {std::move(when), std::move(port), std::move(address), std::move(baud), std::move(pageCaption),
          page.Readings()};
}

std::string RecordCsv(const CommissioningRecord& record) {
  // The byte-order mark lets spreadsheets that guess the encoding see UTF-8 ("℃", "°").
  std::string csv = "\xEF\xBB\xBF";
  csv += kRecordHeader;
  csv += "\r\n";
  const std::string context = Cell(record.when.toString(QLatin1String(kTimeFormat))) + ',' +
                              Cell(record.port) + ',' + Cell(record.address) + ',' + Cell(record.baud) + ',' +
                              Cell(record.page);
  for (const FieldReading& field : record.fields) csv += context + ',' + RecordFieldCells(field) + "\r\n";
  return csv;
}

bool SaveRecordFile(const CommissioningRecord& record, const QString& path, QString* error) {
  return SaveWholeFile(path, QByteArray::fromStdString(RecordCsv(record)), error);
}

QString SuggestedRecordName(const CommissioningRecord& record) {
  static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._]+"));
  QString page = record.page;
  page.replace(unsafe, QStringLiteral("-"));
  while (page.startsWith(u'-')) page.remove(0, 1);
  while (page.endsWith(u'-')) page.chop(1);
  if (page.isEmpty()) page = QStringLiteral("record");
  return QStringLiteral("%1-%2.csv").arg(page, record.when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

}  // namespace tamsu
