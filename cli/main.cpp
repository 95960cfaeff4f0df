#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "serial/sockets.h"
#include "serial/wide_text.h"
#endif

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  // The arguments as typed, in UTF-8 like everything else (argv holds them in the ANSI code
  // page, which loses any name outside it); UTF-8 out to the console too.
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    args.clear();
    for (int i = 1; i < count; ++i) args.push_back(tamsu::Narrow(wide[i]));
    ::LocalFree(wide);
  }
  ::SetConsoleOutputCP(CP_UTF8);
  if (!tamsu::sockets::Start()) {
    std::cerr << "Windows 通信端口初始化失败。\n";
    return 1;
  }
#endif
  tamsu::cli::Io io{std::cout, std::cerr, std::cin};
  return tamsu::cli::Run(args, io);
}
