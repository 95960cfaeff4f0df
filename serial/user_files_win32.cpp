#include <windows.h>
#include <shlobj.h>

#include <string>

#include "serial/user_files.h"
#include "serial/wide_text.h"

namespace tamsu {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string UserConfigDirectory() {
  wchar_t path[MAX_PATH];
  if (::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return Narrow(path);
}

bool ReadSmallFile(const std::string& path, size_t max, std::string* text) {
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool regular = ::GetFileType(file) == FILE_TYPE_DISK;
  if (regular) {
    char buf[4096];
    DWORD n = 0;
    while (text->size() < max && ::ReadFile(file, buf, sizeof buf, &n, nullptr) && n > 0) text->append(buf, n);
  }
  ::CloseHandle(file);
  if (text->size() > max) text->resize(max);
  return regular;
}

bool ReplaceWholeFile(const std::string& path, const std::string& text) {
  const size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) {
    const std::wstring dir = Widen(path.substr(0, slash));
    // The folders are the user's own: the application data folder is private to the user.
    for (size_t pos = dir.find_first_of(L"\\/", 3); ; pos = dir.find_first_of(L"\\/", pos + 1)) {
      const std::wstring level = dir.substr(0, pos);
      if (!::CreateDirectoryW(level.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
      if (pos == std::wstring::npos) break;
    }
  }
  const std::wstring target = Widen(path);
  const std::wstring temp = target + L".new";
  const HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && ::FlushFileBuffers(file);
  if (!::CloseHandle(file) || !ok ||
      !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace tamsu
