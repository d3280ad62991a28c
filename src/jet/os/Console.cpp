#include "jet/os/Console.h"

#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <iostream>
#include <streambuf>

#include "jet/os/Unicode.h"
#endif

namespace jet::os {

#ifdef _WIN32
namespace {

// A stream buffer over one standard handle: UTF-8 bytes as they are to a file or pipe,
// wide characters through WriteConsoleW to a console. A UTF-8 sequence cut by the buffer's
// end waits for the rest.
class StandardBuf final : public std::streambuf {
 public:
  explicit StandardBuf(DWORD which) : h_(GetStdHandle(which)) {
    DWORD mode;
    console_ = h_ != nullptr && h_ != INVALID_HANDLE_VALUE && GetFileType(h_) == FILE_TYPE_CHAR &&
               GetConsoleMode(h_, &mode);
    setp(buf_, buf_ + sizeof buf_);
  }
  ~StandardBuf() override { sync(); }

 protected:
  int overflow(int c) override {
    if (flush(false) != 0) return traits_type::eof();
    if (c != traits_type::eof()) {
      *pptr() = static_cast<char>(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return flush(true); }

 private:
  int flush(bool all) {
    const size_t n = static_cast<size_t>(pptr() - pbase());
    if (n == 0) return 0;
    size_t take = n;
    if (console_ && !all) take = completeUpTo(n);
    if (h_ == nullptr || h_ == INVALID_HANDLE_VALUE) {
      // No such stream (a program started without one): the text goes nowhere.
    } else if (console_) {
      const std::wstring w = widen(std::string_view(buf_, take));
      DWORD done = 0;
      for (size_t at = 0; at < w.size(); at += done) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(w.size() - at, 8192));
        if (!WriteConsoleW(h_, w.data() + at, part, &done, nullptr) || done == 0) return -1;
      }
    } else {
      DWORD done = 0;
      for (size_t at = 0; at < take; at += done)
        if (!WriteFile(h_, buf_ + at, static_cast<DWORD>(take - at), &done, nullptr) || done == 0)
          return -1;
    }
    std::copy(buf_ + take, buf_ + n, buf_);
    setp(buf_, buf_ + sizeof buf_);
    pbump(static_cast<int>(n - take));
    return 0;
  }

  // The length of buf_[0, n) without a UTF-8 sequence cut at its end.
  size_t completeUpTo(size_t n) const {
    size_t start = n;
    while (start > 0 && n - start < 4 && (static_cast<unsigned char>(buf_[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return n;
    const auto lead = static_cast<unsigned char>(buf_[start - 1]);
    const size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return n - (start - 1) < len ? start - 1 : n;
  }

  HANDLE h_;
  bool console_ = false;
  char buf_[16384];
};

}  // namespace

void setUpConsole() {
  // Never freed: the streams flush through them as the process ends.
  static StandardBuf* out = new StandardBuf(STD_OUTPUT_HANDLE);
  static StandardBuf* err = new StandardBuf(STD_ERROR_HANDLE);
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(out);
  std::cerr.rdbuf(err);
  std::cerr.setf(std::ios::unitbuf);
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> out;
  for (int i = 1; i < argc; ++i) out.push_back(narrow(argv[i]));
  return out;
}

std::optional<std::string> environment(const char* name) {
  const wchar_t* value = _wgetenv(widen(name).c_str());
  if (value == nullptr) return std::nullopt;
  return narrow(value);
}
#else
void setUpConsole() {}

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}
#endif

}  // namespace jet::os
