// The user's own small files (the remembered network ports): where they live, read whole within
// a bound, and replaced whole so a crash leaves the old file or the new one. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace tamsu {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// $XDG_CONFIG_HOME or ~/.config (absolute values only); on Windows the user's application data
// folder. Empty when there is none.
std::string UserConfigDirectory();
// A regular file's first `max` bytes; false when it cannot be opened or is no regular file.
bool ReadSmallFile(const std::string& path, size_t max, std::string* text);
// Writes `text` beside `path`, flushes it to the disk and renames it over `path`, making the
// missing directories (private to the user) first.
bool ReplaceWholeFile(const std::string& path, const std::string& text);

}  // namespace tamsu
