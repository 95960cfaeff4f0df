#include "cli/output.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace tamsu::cli {

namespace {

// Columns line up by characters, not bytes ("℃" is three bytes, one column).
size_t Width(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string JsonObject(const Table& table, const std::vector<std::string>& row) {
  std::string json = "{";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i) json += ",";
    json += JsonString(table.columns[i]) + ":" + JsonString(i < row.size() ? row[i] : std::string());
  }
  return json + "}";
}

std::string CsvLine(const std::vector<std::string>& row) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) line += (i ? "," : "") + CsvCell(row[i]);
  return line;
}

}  // namespace

std::string CsvCell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          json += escaped;
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (!line.empty() && line.back() != ' ') line += ' ';
      continue;
    }
    line += c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

void Print(const Table& table, Format format, std::ostream& out) {
  switch (format) {
    case Format::Text: {
      std::vector<std::vector<std::string>> lines;
      if (table.header) lines.push_back(table.columns);
      lines.insert(lines.end(), table.rows.begin(), table.rows.end());
      std::vector<size_t> widths(table.columns.size(), 0);
      for (const auto& row : lines)
        for (size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
      for (const auto& row : lines) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
          line += row[i];
          if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
      }
      break;
    }
    case Format::Csv:
      out << CsvLine(table.columns) << '\n';
      for (const auto& row : table.rows) out << CsvLine(row) << '\n';
      break;
    case Format::Json:
      out << '[';
      for (size_t i = 0; i < table.rows.size(); ++i) out << (i ? ",\n " : "\n ") << JsonObject(table, table.rows[i]);
      out << (table.rows.empty() ? "]\n" : "\n]\n");
      break;
  }
  out.flush();
}

void PrintLine(const Table& table, const std::vector<std::string>& row, Format format, bool header,
               std::ostream& out) {
  switch (format) {
    case Format::Text: {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) line += (i ? "  " : "") + row[i];
      out << line << '\n';
      break;
    }
    case Format::Csv:
      if (header) out << CsvLine(table.columns) << '\n';
      out << CsvLine(row) << '\n';
      break;
    case Format::Json: out << JsonObject(table, row) << '\n'; break;
  }
  out.flush();
}

}  // namespace tamsu::cli
