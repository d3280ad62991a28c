#pragma once
// Where the tests find their files, and scratch copies to write on.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testfiles {

namespace fs = std::filesystem;

// The bytes of a file, read in one call; empty when it cannot be read.
std::vector<uint8_t> fileBytes(const fs::path& p);

// A fixture committed under tests/data.
fs::path data(const std::string& name);

// A file of the public corpus committed under tests/corpus, by generation folder and name
// ("V1997/testV1997.mdb").
fs::path corpus(const std::string& relative);
// The .mdb and .accdb files of the committed corpus, of one folder or of all, sorted.
std::vector<fs::path> corpusFiles(const std::string& folder = {});

// The .mdb and .accdb files anywhere under dir, sorted; empty when dir is absent.
std::vector<fs::path> jetFilesIn(const fs::path& dir);

// The shared folder: $MDBCHECK_SHARED_DIR when set, else the folder beside the checkout.
// Optional: its corpus adds more files to the corpus-wide tests; nothing else needs it.
fs::path sharedRoot();
fs::path shared(const std::string& relative);
bool sharedExists(const std::string& relative);
// The shared corpus's .mdb and .accdb files that tests/corpus does not hold (of one folder
// or of all), sorted; empty when the shared corpus is absent.
std::vector<fs::path> moreCorpusFiles(const std::string& folder = {});
// Every file a format-wide test reads: the committed corpus, the shared corpus when
// present, and the sound fixtures of tests/data.
std::vector<fs::path> everyFormatFile();

// The console tool built beside the tests.
fs::path cli();
// Whether it was built; when not, marks the running test skipped ("tool absent: ...")
// without stopping it, so that its other checks still run.
bool requireCli();

// Marks the running test skipped for want of an external tool without stopping it: the
// test's other checks still run and may fail it, but it never counts as passed. The
// message starts with "tool absent: ", which scripts/test.sh never accepts.
void markToolAbsent(const std::string& tool);

// The same for a part only a POSIX system can run (a Linux program, flock(2)), on the
// Windows build. The message starts with "posix only: ", which scripts/check-skips.sh
// accepts in a Windows run only, for the tests tests/allowed-skips.txt names.
void markPosixOnly(const std::string& what);

// Copies `from` over `to` (MinGW's copy_file does not overwrite).
void copyOver(const fs::path& from, const fs::path& to);

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

// Sets an environment variable for the commands this process starts; nullptr removes it.
void setEnvironment(const char* name, const char* value);

// `s` as one shell word (of sh, or of cmd.exe on Windows).
std::string shellQuoted(const std::string& s);
// Where the shell throws away what a command sends there.
#ifdef _WIN32
inline constexpr const char* kNullDevice = "NUL";
#else
inline constexpr const char* kNullDevice = "/dev/null";
#endif

}  // namespace testfiles

// Skips the current test when a file of the shared folder is absent. The message names
// the file after "optional shared file absent: ", the one skip reason scripts/test.sh
// accepts (for the tests its allow-list names, and only while the file is really absent).
#define SKIP_WITHOUT_SHARED(rel)                                                    \
  do {                                                                              \
    if (!::testfiles::sharedExists(rel))                                            \
      GTEST_SKIP() << "optional shared file absent: "                               \
                   << ::testfiles::shared(rel).string();                            \
  } while (0)

// Skips the current test at once on Windows, for a test that only a POSIX system can run.
#ifdef _WIN32
#define SKIP_POSIX_ONLY(what) GTEST_SKIP() << "posix only: " << what
#else
#define SKIP_POSIX_ONLY(what) \
  do {                        \
  } while (0)
#endif
