#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tamsu::cli::Io io{std::cout, std::cerr, std::cin};
  return tamsu::cli::Run(args, io);
}
