// What a subcommand prints: rows of named columns, as aligned text, CSV or JSON.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"

namespace tamsu::cli {

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  bool header = false;  // text too begins with the column names (listings, not readings)

  void Add(std::vector<std::string> row) { rows.push_back(std::move(row)); }
};

// Text: the rows in aligned columns, a header only where the table asks for one. CSV: a header line, then the rows. JSON: an
// array of objects keyed by the column names.
void Print(const Table& table, Format format, std::ostream& out);
// One row of a stream (a poll's tick): a text or CSV line, or one JSON object on its own line
// (JSON Lines). `header` prints the CSV header first.
void PrintLine(const Table& table, const std::vector<std::string>& row, Format format, bool header,
               std::ostream& out);

std::string CsvCell(std::string_view text);
std::string JsonString(std::string_view text);

// A message box's text on one line: its line breaks become spaces.
std::string OneLine(std::string_view text);
// Without blanks (spaces, tabs) at either end.
std::string Trim(std::string_view text);
// ASCII letters in lower case, for captions matched "case aside".
std::string Lower(std::string text);

}  // namespace tamsu::cli
