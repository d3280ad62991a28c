#include "Mdbtools.h"

#include "TestFiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace mdbtools {

namespace {

// mdb-export's output; nullopt when it fails.
std::optional<std::string> run(const std::string& command) {
  testfiles::CommandResult r = testfiles::runCommand(command);
  if (r.status != 0) return std::nullopt;
  return std::move(r.out);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string stripFractionZeros(std::string s) {
  if (s.find('.') == std::string::npos || s.find('e') != std::string::npos) return s;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

bool parseDouble(const std::string& s, double& d) {
  if (s.empty()) return false;
  char* end = nullptr;
  d = std::strtod(s.c_str(), &end);
  return end && *end == '\0';
}

constexpr int kSingle = 6, kDouble = 7, kDate = 8, kText = 10, kMemo = 12, kCurrency = 5,
              kGuid = 15, kDecimal = 20, kBinary = 9, kLongBinary = 11;

}  // namespace

#ifdef _WIN32
bool available() { return false; }

bool required() {
  testfiles::markPosixOnly(kLinuxOnly);
  return false;
}
#else
bool available() {
  static const bool installed = run("mdb-export --version >/dev/null 2>&1").has_value();
  return installed;
}

bool required() {
  if (available()) return true;
  testfiles::markToolAbsent(kAbsent);
  return false;
}
#endif

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) {
      out.push_back(line.substr(start));
      return out;
    }
    out.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

std::optional<Export> exportTable(const std::string& file, const std::string& table) {
  const std::string cmd = "mdb-export -d '\t' -Q -e -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S'"
                          " -0 '\\N' -b hex " + testfiles::shellQuoted(file) + " " + testfiles::shellQuoted(table) +
                          " 2>/dev/null";
  auto out = run(cmd);
  if (!out) return std::nullopt;
  Export e;
  size_t start = 0;
  bool first = true;
  while (start < out->size()) {
    size_t nl = out->find('\n', start);
    if (nl == std::string::npos) nl = out->size();
    std::string line = out->substr(start, nl - start);
    start = nl + 1;
    if (first) {
      e.header = splitTabs(line);
      first = false;
    } else {
      e.rows.push_back(splitTabs(line));
    }
  }
  return e;
}

std::string normalise(const std::string& f, int daoType) {
  if (f == "\\N") return f;
  switch (daoType) {
    case kCurrency:
    case kDecimal: return stripFractionZeros(f);
    case kGuid: {
      // Exported as the hex of its braced text.
      if (f.size() % 2 != 0) return f;
      std::string s;
      for (size_t i = 0; i < f.size(); i += 2) {
        int hi = hexDigit(f[i]), lo = hexDigit(f[i + 1]);
        if (hi < 0 || lo < 0) return f;
        s += static_cast<char>(hi * 16 + lo);
      }
      // mdbtools leaves out the dash before the last group: {8-4-4-4-12} comes out {8-4-4-16}.
      if (s.size() == 37 && s.front() == '{' && s.back() == '}' && s[24] != '-') s.insert(24, "-");
      return s;
    }
    default: return f;
  }
}

bool sameValue(const std::string& ours, const std::string& theirsRaw, int daoType) {
  const std::string theirs = normalise(theirsRaw, daoType);
  if (ours == theirs) return true;
  if ((daoType == kText || daoType == kMemo || daoType == kBinary || daoType == kLongBinary) &&
      ours.empty() && theirs == "\\N")
    return true;
  if (daoType == kText || daoType == kMemo) {
    // mdbtools prints '?' for the code-page bytes that have no character (C1 controls in
    // code page 1252, which Windows maps to U+0080..U+009F), and "??" for a character
    // beyond U+FFFF (a surrogate pair).
    size_t i = 0, j = 0;
    while (i < ours.size() && j < theirs.size()) {
      if (ours[i] == theirs[j]) {
        ++i, ++j;
      } else if (theirs[j] == '?' && i + 1 < ours.size() &&
                 static_cast<unsigned char>(ours[i]) == 0xC2 &&
                 static_cast<unsigned char>(ours[i + 1]) >= 0x80 &&
                 static_cast<unsigned char>(ours[i + 1]) <= 0x9F) {
        i += 2, ++j;
      } else if (theirs[j] == '?' && j + 1 < theirs.size() && theirs[j + 1] == '?' &&
                 static_cast<unsigned char>(ours[i]) >= 0xF0 && i + 4 <= ours.size()) {
        i += 4, j += 2;
      } else {
        return false;
      }
    }
    if (i == ours.size() && j == theirs.size()) return true;
  }
  if (daoType == kDate && ours != "\\N") {
    // mdbtools cannot print a negative stored double (before 1899-12-30, or 1899-12-30
    // with a time) nor one above 1e6 (after 4637-11-25).
    if (theirs == "1900-01-00 00:00:00" && (ours <= "1899-12-30 23:59:59" || ours >= "4637-11-25"))
      return true;
    // Rounding up to the next second without carrying into the next day.
    if (theirs.size() == 19 && theirs.compare(11, 8, "24:00:00") == 0 &&
        ours.compare(11, 8, "00:00:00") == 0)
      return true;
  }
  if (daoType == kSingle || daoType == kDouble) {
    double a, b;
    if (parseDouble(ours, a) && parseDouble(theirs, b)) {
      if (a == b) return true;
      const double scale = std::max(std::fabs(a), std::fabs(b));
      return std::fabs(a - b) <= scale * (daoType == kSingle ? 1e-6 : 1e-12);
    }
  }
  return false;
}

}  // namespace mdbtools
