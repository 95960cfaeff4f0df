// A German locale (decimal comma) in force for a test's lifetime: one installed, or else one
// compiled with localedef into a private directory. Everything is put back at the end.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>

namespace tamsu::test {

class GermanLocale {
 public:
  GermanLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE@euro", "de_DE"})
      if (!found_ && std::setlocale(LC_ALL, name)) found_ = (std::locale::global(std::locale(name)), true);
    if (found_) return;
    dir_ = std::filesystem::temp_directory_path() / ("tamsu-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    ::setenv("LOCPATH", dir_.c_str(), 1);
    if (std::system(cmd.c_str()) == 0 && std::setlocale(LC_ALL, "de_DE.UTF-8"))
      found_ = (std::locale::global(std::locale("de_DE.UTF-8")), true);
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    ::unsetenv("LOCPATH");
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  GermanLocale(const GermanLocale&) = delete;
  GermanLocale& operator=(const GermanLocale&) = delete;

  // False when no German locale could be had (the test then skips).
  bool Found() const { return found_; }

 private:
  bool found_ = false;
  std::filesystem::path dir_;
};

}  // namespace tamsu::test
