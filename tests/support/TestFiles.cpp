#include "TestFiles.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#ifdef _WIN32
#include "jet/os/Unicode.h"
#endif

namespace testfiles {

std::vector<uint8_t> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

fs::path data(const std::string& name) { return fs::path(MDBCHECK_TEST_DATA) / name; }

namespace {

const fs::path kCorpus = MDBCHECK_TEST_CORPUS;

// The Jet files under `root` (of its sub-folder `folder` when given), sorted.
std::vector<fs::path> jetFilesUnder(const fs::path& root, const std::string& folder) {
  std::vector<fs::path> out;
  const fs::path top = folder.empty() ? root : root / folder;
  std::error_code ec;
  if (!fs::is_directory(top, ec)) return out;
  for (const auto& e : fs::recursive_directory_iterator(top)) {
    const auto ext = e.path().extension();
    if (e.is_regular_file() && (ext == ".mdb" || ext == ".accdb")) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

fs::path corpus(const std::string& relative) { return kCorpus / relative; }

std::vector<fs::path> corpusFiles(const std::string& folder) { return jetFilesUnder(kCorpus, folder); }

std::vector<fs::path> jetFilesIn(const fs::path& dir) { return jetFilesUnder(dir, {}); }

fs::path sharedRoot() {
  const char* over = std::getenv("MDBCHECK_SHARED_DIR");
  return over && *over ? fs::path(over) : fs::path(MDBCHECK_SHARED);
}

fs::path shared(const std::string& relative) { return sharedRoot() / relative; }

bool sharedExists(const std::string& relative) { return fs::exists(shared(relative)); }

std::vector<fs::path> moreCorpusFiles(const std::string& folder) {
  const fs::path root = shared("corpus");
  std::vector<fs::path> out;
  for (fs::path& f : jetFilesUnder(root, folder))
    if (!fs::exists(kCorpus / f.lexically_relative(root))) out.push_back(std::move(f));
  return out;
}

std::vector<fs::path> everyFormatFile() {
  std::vector<fs::path> files = corpusFiles();
  for (fs::path& f : moreCorpusFiles()) files.push_back(std::move(f));
  for (const char* name : {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb", "empty2000.mdb",
                           "flags2000.mdb", "linked_target.mdb", "nocandidates2000.mdb",
                           "rawdates2000.mdb", "template2000.mdb"})
    files.push_back(data(name));
  return files;
}

#ifdef _WIN32
fs::path cli() { return (fs::path(MDBCHECK_BINARY_DIR) / "mdbcheck-cli.exe").make_preferred(); }
#else
fs::path cli() { return fs::path(MDBCHECK_BINARY_DIR) / "tools" / "mdbcheck-cli"; }
#endif

bool requireCli() {
  if (fs::exists(cli())) return true;
  markToolAbsent("mdbcheck-cli (" + cli().string() + " was not built)");
  return false;
}

void markToolAbsent(const std::string& tool) {
  // GTEST_SKIP returns from the function it is written in: this lambda, not the test.
  [&] { GTEST_SKIP() << "tool absent: " << tool; }();
}

void markPosixOnly(const std::string& what) {
  [&] { GTEST_SKIP() << "posix only: " << what; }();
}

void copyOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove(to, ec);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

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
  copyOver(from, to);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return to;
}

void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value ? value : "");
#else
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#endif
}

#ifdef _WIN32
CommandResult runCommand(const std::string& command) {
  CommandResult r;
  // cmd.exe /c drops the first and the last quote of a line that starts with one: a pair
  // around the whole line keeps the command's own. The line goes to the system as UTF-16.
  const std::wstring line = jet::os::widen("\"" + command + "\"");
  FILE* p = ::_wpopen(line.c_str(), L"rb");
  if (!p) return r;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  r.status = ::_pclose(p);
  return r;
}

std::string shellQuoted(const std::string& s) { return "\"" + s + "\""; }
#else
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
#endif

}  // namespace testfiles
