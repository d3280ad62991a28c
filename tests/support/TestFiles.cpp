#include "TestFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>

namespace testfiles {

fs::path data(const std::string& name) { return fs::path(MDBCHECK_TEST_DATA) / name; }

fs::path shared(const std::string& relative) { return fs::path(MDBCHECK_SHARED) / relative; }

bool sharedExists(const std::string& relative) { return fs::exists(shared(relative)); }

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("mdbcheck-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path ScratchDir::copy(const fs::path& from, const std::string& as) const {
  fs::path to = path_ / (as.empty() ? from.filename() : fs::path(as));
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return to;
}

CommandResult runCommand(const std::string& command) {
  CommandResult r;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace testfiles
