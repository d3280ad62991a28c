#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Command.h"
#include "jet/Error.h"
#include "jet/os/Console.h"

namespace cli {
std::vector<Command>& commands() {
  static std::vector<Command> all;
  return all;
}
}  // namespace cli

namespace {

void usage() {
  std::cerr << "用法: mdbcheck-cli 命令 参数…\n";
  auto all = cli::commands();
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.name < b.name; });
  for (const auto& c : all) std::cerr << "  mdbcheck-cli " << c.usage << "\n";
  std::cerr << "  mdbcheck-cli --version\n";
}

int run(const std::vector<std::string>& args) {
  jet::os::setUpConsole();
  if (args.empty()) {
    usage();
    return 2;
  }
  const std::string& name = args[0];
  if (name == "--version") {
    std::cout << "mdbcheck-cli " << MDBCHECK_VERSION << "\n";
    return 0;
  }
  for (const auto& c : cli::commands()) {
    if (c.name != name) continue;
    try {
      return c.run(cli::Args(args.begin() + 1, args.end()));
    } catch (const jet::Error& e) {
      std::cerr << e.description() << "\n";
      return 1;
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      return 1;
    }
  }
  usage();
  return 2;
}

}  // namespace

#ifdef _WIN32
// Wide arguments: a Chinese file name survives on every Windows, whatever its code page.
int wmain(int argc, wchar_t** argv) { return run(jet::os::utf8Arguments(argc, argv)); }
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
