// hold FILE: opens FILE as the console tool opens a file it repairs (exclusively), says
// "held" on standard output and keeps it until its standard input ends. The cross-platform
// lock test holds a file with it on one system while the other system's tool tries it.
#include <iostream>
#include <string>
#include <vector>

#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/os/Console.h"

namespace {

int run(const std::vector<std::string>& args) {
  jet::os::setUpConsole();
  if (args.size() != 1) {
    std::cerr << "usage: hold FILE\n";
    return 2;
  }
  try {
    auto db = jet::Database::open(args[0], jet::Database::Mode::Exclusive);
    std::cout << "held" << std::endl;
    std::string line;
    std::getline(std::cin, line);
  } catch (const jet::Error& e) {
    std::cerr << e.description() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(jet::os::utf8Arguments(argc, argv)); }
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
