// A provisioning plan and its commissioning record as files: the plan's rows, the record's
// lines appended whole, and which plan rows a record already shows done.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "device/page_model.h"

namespace tamsu::cli {

// CSV as spreadsheets write it: quoted cells with doubled quotes and line breaks inside, CRLF or
// LF line ends, a UTF-8 byte-order mark. Each record's cells; blank lines give no record.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

struct PlanRow {
  size_t line = 0;   // in the plan file, for messages
  std::string page;  // class name ("TemHumPage")
  int address = 0;   // the new slave address
  uint32_t baud = 0; // the new rate
  std::vector<std::pair<std::string, std::string>> settings;  // field caption, value as typed
};

// "page,address,baud[,FIELD=VALUE...]" per row; an optional header line naming those columns;
// lines starting with "#" are comments. Any fault is a UsageError "FILE:LINE: reason".
std::vector<PlanRow> ParsePlan(const std::string& text, const std::string& fileName);
std::vector<PlanRow> ReadPlan(const std::string& path);

// One line of the window's commissioning record: where and when, and one field.
struct RecordLine {
  std::string when, port, address, baud, page;
  FieldReading field;
};

// Appends the lines in one write and syncs them to the disk; a new or empty file gets the
// byte-order mark and the header first. Never follows a symbolic link. A Failure on error.
void AppendRecord(const std::string& path, const std::vector<RecordLine>& lines);

// (page, slave address, baud rate) of every transmitter the record holds lines of; empty when
// the file does not exist.
std::set<std::tuple<std::string, std::string, std::string>> RecordedDevices(const std::string& path);

}  // namespace tamsu::cli
