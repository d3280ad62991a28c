#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Command.h"
#include "Password.h"
#include "jet/Error.h"
#include "jet/os/Console.h"

namespace {

void usage() {
  std::cerr << "用法: mdbcheck-cli 命令 参数…\n";
  auto all = cli::commands();
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.name < b.name; });
  for (const auto& c : all) std::cerr << "  mdbcheck-cli " << c.usage << "\n";
  std::cerr << "  mdbcheck-cli --version\n";
  std::cerr << "有密码的数据库：任一命令加 --password 密码，或设环境变量 MDBCHECK_PASSWORD\n";
}

// argv: UTF-8.
int run(int argc, char** argv) {
  jet::os::setUpConsole();
  if (!cli::takePassword(argc, argv) || argc < 2) {
    usage();
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--version") {
    std::cout << "mdbcheck-cli " << MDBCHECK_VERSION << "\n";
    return 0;
  }
  for (const auto& c : cli::commands()) {
    if (c.name != name) continue;
    try {
      return c.run(cli::Args(argv + 2, argv + argc));
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
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args = jet::os::utf8Arguments(argc, wargv);
  std::string program = "mdbcheck-cli";
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return run(static_cast<int>(args.size()) + 1, argv.data());
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
