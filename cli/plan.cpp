#include "cli/plan.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "device/field_text.h"
#include "serial/port_directory.h"

namespace tamsu::cli {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

// The file's whole text, refusing what is not a regular file (a FIFO would hang the run). A
// file that cannot be read is a failure of the file, not of the command line.
std::string ReadText(const std::string& path, const char* what) {
  // A UTF-8 name through the wide-character API where the system has one, so any name opens.
  const std::filesystem::path name(std::u8string(path.begin(), path.end()));
  std::error_code error;
  const auto status = std::filesystem::status(name, error);
  if (error) throw Failure(std::string(what) + " " + path + ": " + error.message());
  if (status.type() != std::filesystem::file_type::regular)
    throw Failure(std::string(what) + " " + path + ": not a regular file");
  std::ifstream file(name, std::ios::binary);
  if (!file) throw Failure(std::string(what) + " " + path + ": cannot be read");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string cell;
  bool quoted = false, any = false;
  size_t i = text.compare(0, 3, kBom) == 0 ? 3 : 0;
  auto endRecord = [&] {
    if (any || !cell.empty() || !record.empty()) {
      record.push_back(cell);
      records.push_back(record);
    }
    record.clear();
    cell.clear();
    any = false;
  };
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      record.push_back(cell);
      cell.clear();
      any = true;
    } else if (c == '\n') {
      endRecord();
    } else if (c != '\r') {
      cell += c;
    }
  }
  endRecord();
  return records;
}

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// One row's cells by RFC 4180: a cell is plain (no quote in it) or quoted whole, where a doubled
// quote stands for one and commas are text. Blanks around a cell are no part of it. Empty when
// the row is sound, else what is wrong.
std::string SplitRow(std::string_view line, std::vector<std::string>& cells) {
  static constexpr char kQuoting[] =
      "unbalanced quote (a cell with a quote or a comma in it is quoted whole, its quotes doubled)";
  size_t i = 0;
  for (;;) {
    while (i < line.size() && Blank(line[i])) ++i;
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) return kQuoting;
        if (line[i] != '"') cell += line[i];
        else if (i + 1 < line.size() && line[i + 1] == '"') cell += line[i++];
        else break;
      }
      ++i;
      while (i < line.size() && Blank(line[i])) ++i;
      if (i < line.size() && line[i] != ',') return kQuoting;
    } else {
      while (i < line.size() && line[i] != ',') {
        if (line[i] == '"') return kQuoting;
        cell += line[i++];
      }
    }
    cells.push_back(Trim(cell));
    if (i >= line.size()) return {};
    ++i;  // the comma
  }
}

// FNV-1a, 64 bits, in hexadecimal: the same text always gives the same identity.
std::string ContentHash(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

}  // namespace

std::vector<PlanRow> ParsePlan(const std::string& text, const std::string& fileName) {
  std::vector<PlanRow> rows;
  const std::string_view all = std::string_view(text).substr(text.compare(0, 3, kBom) == 0 ? 3 : 0);
  size_t lineNo = 0;
  bool first = true;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string at = fileName + ":" + std::to_string(lineNo) + ": ";
    // A comment is a whole line, whatever it holds: its quotes are no cell's.
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    std::vector<std::string> cells;
    if (const std::string fault = SplitRow(line, cells); !fault.empty()) throw UsageError(at + fault);
    while (!cells.empty() && cells.back().empty()) cells.pop_back();
    if (cells.empty()) continue;
    if (first && Lower(cells[0]) == "page") {
      first = false;
      if (cells.size() < 3 || Lower(cells[1]) != "address" || Lower(cells[2]) != "baud")
        throw UsageError(at + "the header must begin page,address,baud");
      continue;
    }
    first = false;
    if (cells.size() < 3) throw UsageError(at + "a row needs page, address and baud; this one has " + std::to_string(cells.size()) + (cells.size() == 1 ? " column" : " columns"));
    PlanRow row;
    row.line = lineNo;
    row.identity = std::to_string(lineNo) + ":" + ContentHash(line);
    row.page = cells[0];
    if (row.page.empty()) throw UsageError(at + "the page is missing");
    try {
      if (cells[1].empty()) throw UsageError("the address is missing");
      if (cells[2].empty()) throw UsageError("the baud rate is missing");
      row.address = CheckedAddress(cells[1]);
      row.baud = CheckedBaud(cells[2]);
    } catch (const UsageError& error) {
      throw UsageError(at + error.what());
    }
    for (size_t i = 3; i < cells.size(); ++i) {
      const size_t eq = cells[i].find('=');
      if (cells[i].empty()) throw UsageError(at + "column " + std::to_string(i + 1) + " is empty");
      if (eq == std::string::npos || eq == 0) throw UsageError(at + "column " + std::to_string(i + 1) + " is no FIELD=VALUE: '" + cells[i] + "'");
      row.settings.emplace_back(Trim(cells[i].substr(0, eq)), Trim(cells[i].substr(eq + 1)));
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) throw UsageError(fileName + ": the plan has no rows");
  return rows;
}

std::vector<PlanRow> ReadPlan(const std::string& path) { return ParsePlan(ReadText(path, "plan"), path); }

std::string ProvisionRecordHeader() { return std::string(kRecordHeader) + ",Plan line"; }

namespace {

#ifdef _WIN32
long long FileSize(int fd) { return ::_filelengthi64(fd); }
bool FlushToDisk(int fd) { return ::_commit(fd) == 0; }
#else
long long FileSize(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
bool FlushToDisk(int fd) { return ::fsync(fd) == 0; }
#endif

// The record, opened only when nobody else can have put or changed it.
int OpenRecord(const std::string& path, bool append) {
  std::string problem;
  const int fd = OpenPrivateFile(path, append, &problem);
  if (fd < 0 && !problem.empty()) throw Failure("record " + path + ": " + problem);
  return fd;
}

}  // namespace

void AppendRecord(const std::string& path, const std::vector<RecordLine>& lines) {
  const int fd = OpenRecord(path, true);
  std::string text;
  const auto size = FileSize(fd);
  if (size < 0) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    throw Failure("record " + path + ": " + why);
  }
  if (size == 0) text = std::string(kBom) + ProvisionRecordHeader() + "\r\n";
  for (const RecordLine& l : lines) {
    for (const std::string* cell : {&l.when, &l.port, &l.address, &l.baud, &l.page}) text += RecordCell(*cell) + ',';
    text += RecordFieldCells(l.field) + ',' + RecordCell(l.planLine) + "\r\n";
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      throw Failure("record " + path + ": " + why);
    }
    written += static_cast<size_t>(n);
  }
  const bool synced = FlushToDisk(fd);
  const bool closed = ::close(fd) == 0;
  if (!synced || !closed) throw Failure("record " + path + ": " + std::strerror(errno));
}

std::map<size_t, std::set<std::string>> RecordedRows(const std::string& path) {
  std::map<size_t, std::set<std::string>> rows;
  const int fd = OpenRecord(path, false);
  if (fd < 0) return rows;
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      throw Failure("record " + path + ": " + why);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  const auto records = ParseCsv(text);
  if (records.empty()) return rows;
  const auto header = ParseCsv(ProvisionRecordHeader()).front();
  if (records.front() != header)
    throw Failure("record " + path + ": not a provisioning record (its first line is not " + ProvisionRecordHeader() +
                  "); give a new file");
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].size() != header.size()) continue;
    const std::string& identity = records[i].back();
    const size_t colon = identity.find(':');
    if (colon == std::string::npos) continue;
    rows[std::strtoul(identity.c_str(), nullptr, 10)].insert(identity.substr(colon + 1));
  }
  return rows;
}

}  // namespace tamsu::cli
