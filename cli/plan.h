// A provisioning plan and its commissioning record as files: the plan's rows, the record's
// lines appended whole, and which plan rows a record already shows done.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/page_model.h"

namespace tamsu::cli {

// CSV as spreadsheets write it: quoted cells with doubled quotes and line breaks inside, CRLF or
// LF line ends, a UTF-8 byte-order mark. Each record's cells; blank lines give no record.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

struct PlanRow {
  size_t line = 0;   // in the plan file, for messages
  std::string identity;  // "LINE:HASH": the line and a hash of its whole text, as the record keeps it
  std::string page;  // class name ("TemHumPage")
  int address = 0;   // the new slave address
  uint32_t baud = 0; // the new rate
  std::vector<std::pair<std::string, std::string>> settings;  // field caption, value as typed
};

// "page,address,baud[,FIELD=VALUE...]" per row, one row a line; an optional header line naming
// those columns; lines starting with "#" are comments, whatever they hold. Cells as RFC 4180
// has them: a quoted cell may hold commas and doubled quotes; a quote anywhere else, or one left
// open, is an error. Any fault is a UsageError "FILE:LINE: reason".
std::vector<PlanRow> ParsePlan(const std::string& text, const std::string& fileName);
std::vector<PlanRow> ReadPlan(const std::string& path);

// One line of the window's commissioning record: where and when, and one field; then the plan
// row it was provisioned from.
struct RecordLine {
  std::string when, port, address, baud, page;
  FieldReading field;
  std::string planLine;  // PlanRow::identity
};

// The record's header: the window's, and the plan row of each line.
std::string ProvisionRecordHeader();

// Appends the lines in one write and syncs them to the disk; a new or empty file gets the
// byte-order mark and the header first. Only a file of this user's that nobody else can
// change or replace (OpenPrivateFile); a Failure saying why and what fixes it otherwise.
void AppendRecord(const std::string& path, const std::vector<RecordLine>& lines);

// The plan rows the record holds: for each plan line, the hashes of the texts recorded there.
// Empty when the file does not exist; a Failure for a record that is not to be trusted or is
// not a provisioning record.
std::map<size_t, std::set<std::string>> RecordedRows(const std::string& path);

}  // namespace tamsu::cli
