#include "cli/plan.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "device/field_text.h"

namespace tamsu::cli {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

// The file's whole text, refusing what is not a regular file (a FIFO would hang the run).
std::string ReadText(const std::string& path, const char* what) {
#ifdef _WIN32
  // Paths are UTF-8; the wide-character path opens any name Windows can hold.
  const std::filesystem::path name(std::u8string(path.begin(), path.end()));
  std::error_code error;
  const auto status = std::filesystem::status(name, error);
  if (error) throw UsageError(std::string(what) + " " + path + ": " + error.message());
  if (status.type() != std::filesystem::file_type::regular) throw UsageError(std::string(what) + " " + path + ": not a regular file");
  std::ifstream file(name, std::ios::binary);
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw UsageError(std::string(what) + " " + path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw UsageError(std::string(what) + " " + path + ": not a regular file");
  std::ifstream file(path, std::ios::binary);
#endif
  if (!file) throw UsageError(std::string(what) + " " + path + ": cannot be read");
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

std::vector<PlanRow> ParsePlan(const std::string& text, const std::string& fileName) {
  std::vector<PlanRow> rows;
  // Lines are counted over the raw text, so a message points where an editor shows the row.
  size_t lineNo = 0;
  std::istringstream lines(text.compare(0, 3, kBom) == 0 ? text.substr(3) : text);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    ++lineNo;
    // A quoted cell may hold a line break: take lines until the quotes balance.
    size_t quotes = std::count(line.begin(), line.end(), '"');
    while (quotes % 2 && lines) {
      std::string more;
      if (!std::getline(lines, more)) break;
      ++lineNo;
      line += "\n" + more;
      quotes += std::count(more.begin(), more.end(), '"');
    }
    const std::string at = fileName + ":" + std::to_string(lineNo) + ": ";
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed == "\r" || trimmed[0] == '#') continue;
    const auto records = ParseCsv(line);
    if (records.empty()) continue;
    std::vector<std::string> cells = records.front();
    for (std::string& cell : cells) cell = Trim(cell);
    while (!cells.empty() && cells.back().empty()) cells.pop_back();
    if (first && !cells.empty() && Lower(cells[0]) == "page") {
      first = false;
      if (cells.size() < 3 || Lower(cells[1]) != "address" || Lower(cells[2]) != "baud")
        throw UsageError(at + "the header must begin page,address,baud");
      continue;
    }
    first = false;
    if (cells.size() < 3) throw UsageError(at + "a row needs page, address and baud; this one has " + std::to_string(cells.size()) + (cells.size() == 1 ? " column" : " columns"));
    PlanRow row;
    row.line = lineNo;
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

#ifdef _WIN32
// Windows: appended through the wide-character API (any file name), flushed to the disk; a
// link's target is not followed, as on POSIX.
void AppendRecord(const std::string& path, const std::vector<RecordLine>& lines) {
  const std::wstring name = std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
  const HANDLE file = ::CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Failure("record " + path + ": cannot be opened for appending");
  LARGE_INTEGER size{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    ::CloseHandle(file);
    throw Failure("record " + path + ": not a regular file");
  }
  std::string text;
  if (size.QuadPart == 0) text = std::string(kBom) + kRecordHeader + "\r\n";
  for (const RecordLine& l : lines) {
    for (const std::string* cell : {&l.when, &l.port, &l.address, &l.baud, &l.page}) text += RecordCell(*cell) + ',';
    text += RecordFieldCells(l.field) + "\r\n";
  }
  DWORD written = 0;
  const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && ::FlushFileBuffers(file);
  const bool closed = ::CloseHandle(file);
  if (!ok || !closed) throw Failure("record " + path + ": the lines could not be written whole");
}
#else
void AppendRecord(const std::string& path, const std::vector<RecordLine>& lines) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) throw Failure("record " + path + ": " + std::strerror(errno));
  struct stat st {};
  std::string text;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Failure("record " + path + ": not a regular file");
  }
  if (st.st_size == 0) text = std::string(kBom) + kRecordHeader + "\r\n";
  for (const RecordLine& l : lines) {
    for (const std::string* cell : {&l.when, &l.port, &l.address, &l.baud, &l.page}) text += RecordCell(*cell) + ',';
    text += RecordFieldCells(l.field) + "\r\n";
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
  const bool synced = ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!synced || !closed) throw Failure("record " + path + ": " + std::strerror(errno));
}
#endif

std::set<std::tuple<std::string, std::string, std::string>> RecordedDevices(const std::string& path) {
  std::set<std::tuple<std::string, std::string, std::string>> devices;
#ifdef _WIN32
  std::error_code error;
  const std::filesystem::path name(std::u8string(path.begin(), path.end()));
  if (std::filesystem::symlink_status(name, error).type() == std::filesystem::file_type::not_found) return devices;
#else
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return devices;
#endif
  const auto records = ParseCsv(ReadText(path, "record"));
  for (size_t i = 1; i < records.size(); ++i)
    if (records[i].size() >= 5) devices.emplace(records[i][4], records[i][2], records[i][3]);
  return devices;
}

}  // namespace tamsu::cli
