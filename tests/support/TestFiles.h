#pragma once
// Where the tests find their files, and scratch copies to write on.
#include <filesystem>
#include <string>

namespace testfiles {

namespace fs = std::filesystem;

// A fixture committed under tests/data.
fs::path data(const std::string& name);

// The shared folder beside the checkout (corpus, bench); may not exist.
fs::path shared(const std::string& relative);
bool sharedExists(const std::string& relative);

// A fresh private directory, removed when the object dies.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  // Copies a file into the directory (writable) and returns the copy's path.
  fs::path copy(const fs::path& from, const std::string& as = {}) const;

 private:
  fs::path path_;
};

// A shell command's standard output and exit status (-1 when it could not run or was
// killed); standard error goes where the command sends it.
struct CommandResult {
  std::string out;
  int status = -1;
};
CommandResult runCommand(const std::string& command);

// `s` as one shell word.
std::string shellQuoted(const std::string& s);

}  // namespace testfiles

// Skips the current test when a file of the shared folder is absent.
#define SKIP_WITHOUT_SHARED(rel)                                              \
  do {                                                                        \
    if (!::testfiles::sharedExists(rel)) GTEST_SKIP() << "absent: " << (rel); \
  } while (0)
