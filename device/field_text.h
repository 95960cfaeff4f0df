// What a field's text says, read back as the core formatted it: the number it shows and its
// decimals (for a trend, a read-back check), and the text as one cell of a commissioning record.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "device/page_model.h"

namespace tamsu {

// The number a field shows, read back as the core formatted it ("C" rules, whole text): none
// for an empty or blank field, a text, a code, or anything that is not a finite number.
std::optional<double> ShownNumber(std::string_view text);
// How many decimals that text carries, so a value can be shown again exactly as it was.
int ShownDecimals(std::string_view text);

// One CSV cell of a record: trimmed; quoted where a separator, a quote or a line break would
// otherwise split it; a text that a spreadsheet would take for a formula kept as text.
// Numbers stay as they are, so "-10.0" is still a number.
std::string RecordCell(std::string_view text);

// A commissioning record's columns: where and when, then one field per line with where its value
// came from and when that exchange was.
inline constexpr char kRecordHeader[] =
    "Date and time,Port,Slave address,Baud rate,Page,Caption,Value,Unit,Source,Exchange time";
// A record's time: local, to the second ("2026-05-01 14:03:22").
std::string RecordTime(std::chrono::system_clock::time_point when);
// The cells of one field after a line's context, joined by commas: caption, value, unit, source
// and the time of that exchange (none while the field has not been read).
std::string RecordFieldCells(const FieldReading& field);

}  // namespace tamsu
