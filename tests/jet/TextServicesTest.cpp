// The text services give the same answers on every build: case folding (a table made from
// CaseFolding.txt) and the Windows code pages (ICU on Linux, Win32 on Windows) against
// tests/data/text-services.txt, which ICU wrote once.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "TestFiles.h"
#include "jet/os/Unicode.h"

using jet::os::CodePage;

namespace {

struct Expectation {
  std::map<char32_t, char32_t> fold;
  std::map<char32_t, std::u32string> full;
  std::map<int, std::string> codePages;  // number -> "defined D decode H1 encode H2"
};

const Expectation& expectation() {
  static const Expectation e = [] {
    Expectation e;
    std::ifstream in(testfiles::data("text-services.txt"));
    std::string line, kind;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      words >> kind;
      if (kind == "fold" || kind == "full") {
        uint32_t from = 0, to = 0;
        words >> std::hex >> from;
        std::u32string seq;
        while (words >> to) seq.push_back(to);
        if (kind == "fold") e.fold[from] = seq.at(0);
        else e.full[from] = seq;
      } else if (kind == "codepage") {
        int n = 0;
        words >> n;
        std::getline(words >> std::ws, e.codePages[n]);
      }
    }
    return e;
  }();
  return e;
}

std::string utf8Of(char32_t c) {
  std::u16string u;
  if (c < 0x10000) {
    u.push_back(static_cast<char16_t>(c));
  } else {
    u.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    u.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
  return jet::os::toUtf8(u);
}

struct Fnv {
  uint64_t h = 1469598103934665603ull;
  void add(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
};

// The same summary the expectation holds: every byte, and every pair of a double-byte page,
// decoded; each one that is a single character encoded back.
std::string summary(const CodePage& cp) {
  std::vector<std::string> inputs;
  for (int b = 0; b < 256; ++b) inputs.push_back(std::string(1, static_cast<char>(b)));
  if (!cp.singleByte())
    for (int lead = 0x81; lead <= 0xFE; ++lead)
      for (int trail = 0x40; trail <= 0xFE; ++trail)
        inputs.push_back({static_cast<char>(lead), static_cast<char>(trail)});
  Fnv decode, encode;
  long defined = 0;
  for (const std::string& in : inputs) {
    std::u16string u;
    cp.decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), u);
    for (char16_t c : u) decode.add(c);
    decode.add(0xFFFFFFFF);
    const bool one = (u.size() == 1 && u[0] != 0xFFFD) ||
                     (u.size() == 2 && u[0] >= 0xD800 && u[0] <= 0xDBFF && u[1] >= 0xDC00 && u[1] <= 0xDFFF);
    if (!one) continue;
    ++defined;
    const std::optional<std::string> back = cp.encode(u);
    if (!back) {
      encode.add(0xFFFFFFFE);
      continue;
    }
    for (char b : *back) encode.add(static_cast<unsigned char>(b));
    encode.add(0xFFFFFFFF);
  }
  char text[96];
  std::snprintf(text, sizeof text, "defined %ld decode %016llx encode %016llx", defined,
                static_cast<unsigned long long>(decode.h), static_cast<unsigned long long>(encode.h));
  return text;
}

}  // namespace

TEST(TextServices, EveryCodePointFoldsAsExpected) {
  const Expectation& e = expectation();
  ASSERT_GT(e.fold.size(), 1000u);
  size_t wrong = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    const auto f = e.fold.find(c);
    const char32_t simple = f == e.fold.end() ? c : f->second;
    if (jet::os::foldCase(c) != simple && ++wrong <= 5) ADD_FAILURE() << std::hex << "fold of U+" << uint32_t(c);
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const auto g = e.full.find(c);
    const std::u32string full = g == e.full.end() ? std::u32string(1, simple) : g->second;
    if (jet::os::foldCaseFull(utf8Of(c)) != full && ++wrong <= 5)
      ADD_FAILURE() << std::hex << "full fold of U+" << uint32_t(c);
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(jet::os::foldCaseFull("STRASSE"), jet::os::foldCaseFull("straße"));
}

TEST(TextServices, CodePagesDecodeAndEncodeAsExpected) {
  const Expectation& e = expectation();
  ASSERT_EQ(e.codePages.size(), 14u);
  for (const auto& [number, expected] : e.codePages) {
    const std::unique_ptr<CodePage> cp = CodePage::open(number);
    ASSERT_TRUE(cp) << number;
    EXPECT_EQ(summary(*cp), expected) << "code page " << number;
  }
  // A character the code page lacks has no bytes there: no '?' and no look-alike.
  EXPECT_FALSE(CodePage::open(1252)->encode(u"凭证"));
  EXPECT_FALSE(CodePage::open(936)->encode(u"\u0100"));
  EXPECT_EQ(CodePage::open(936)->encode(u"凭证"), std::string("\xC6\xBE\xD6\xA4"));
  EXPECT_FALSE(CodePage::open(12345));
}

TEST(TextServices, Utf8AndUtf16) {
  EXPECT_EQ(jet::os::toUtf16("a凭\xF0\x9F\x98\x80"), std::u16string(u"a凭\U0001F600"));
  for (const char* bad : {"\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE5\x87", "\xF4\x90\x80\x80"})
    EXPECT_FALSE(jet::os::toUtf16(bad)) << bad;
  EXPECT_EQ(jet::os::toUtf8(u"凭\U0001F600"), "凭\xF0\x9F\x98\x80");
  EXPECT_EQ(jet::os::toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
