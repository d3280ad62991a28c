#include "jet/index/Key.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/index/TextKeyTables.h"

using namespace jet;
using namespace jet::index;

namespace {

std::string show(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    std::snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

std::string key(uint8_t type, const Value& v, bool asc = true, Collation c = {}) {
  KeyColumn col{type, asc, c, "c"};
  Bytes out;
  appendColumnKey(col, v, out);
  return show(out);
}

const Collation kJet3{0x0409, 0, true, 1252};

}  // namespace

TEST(Key, NumbersAndDatesSortAsTheirValues) {
  EXPECT_EQ(key(0x04, Value(int64_t{19}), false), "80 7F FF FF EC");
  EXPECT_EQ(key(0x04, Value(int64_t{19})), "7F 80 00 00 13");
  EXPECT_EQ(key(0x04, Value(int64_t{-1})), "7F 7F FF FF FF");
  EXPECT_EQ(key(0x03, Value(int64_t{-32768})), "7F 00 00");
  EXPECT_EQ(key(0x02, Value(int64_t{200})), "7F C8");
  EXPECT_EQ(key(0x02, Value(int64_t{200}), false), "80 37");
  EXPECT_EQ(key(0x05, Value(Currency{35000})), "7F 80 00 00 00 00 00 88 B8");
  EXPECT_EQ(key(0x08, Value(Date{0.0})), "7F 80 00 00 00 00 00 00 00");
  EXPECT_EQ(key(0x08, Value(Date{-1.1})), "7F 40 0E 66 66 66 66 66 65");
  EXPECT_EQ(key(0x08, Value(Date{-94.43003472222222})), "7F 3F A8 64 7A 4F A4 FA 4F");
  EXPECT_EQ(key(0x06, Value(1.0)), "7F BF 80 00 00");
  EXPECT_EQ(key(0x07, Value(-2.0), false), "80 C0 00 00 00 00 00 00 00");
  EXPECT_EQ(key(0x04, Value()), "00");
  EXPECT_EQ(key(0x04, Value(), false), "FF");
  // Byte order must follow numeric order across the sign.
  EXPECT_LT(key(0x08, Value(Date{-1.5})), key(0x08, Value(Date{-1.1})));
  EXPECT_LT(key(0x08, Value(Date{-0.0})), key(0x08, Value(Date{1e-9})));
}

TEST(Key, BooleansGuidsAndBinarySegments) {
  EXPECT_EQ(key(0x01, Value(true)), "7F 00");
  EXPECT_EQ(key(0x01, Value(false)), "7F FF");
  EXPECT_EQ(key(0x01, Value(true), false), "80 FF");
  EXPECT_EQ(key(0x01, Value(), false), "80 00");
  EXPECT_EQ(key(0x09, Value(Bytes{1, 2, 3})), "7F 01 02 03 00 00 00 00 00 03");
  EXPECT_EQ(key(0x09, Value(Bytes{})), "7F");
  EXPECT_EQ(key(0x09, Value(Bytes{}), false), "80");
  EXPECT_EQ(key(0x09, Value(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9})),
            "7F 01 02 03 04 05 06 07 08 09 09 00 00 00 00 00 00 00 01");
  EXPECT_EQ(key(0x09, Value(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}), false),
            "80 FE FD FC FB FA F9 F8 F7 09 F6 FF FF FF FF FF FF FF FE");
  const std::string guid =
      "7F 01 02 03 04 05 06 07 08 09 09 0A 0B 0C 0D 0E 0F 10 08";
  EXPECT_EQ(key(0x0F, Value("{01020304-0506-0708-090A-0B0C0D0E0F10}")), guid);
  EXPECT_EQ(key(0x0F, Value(Bytes{4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16})), guid);
  EXPECT_THROW(key(0x0F, Value("{0102}")), Error);
  EXPECT_THROW(key(0x04, Value("12")), Error);
}

TEST(Key, GeneralLegacyTextMatchesAccessKeys) {
  EXPECT_EQ(key(0x0A, Value("only ascii chars")),
            "7F 64 62 5E 76 07 4A 6B 4D 59 59 07 4D 57 4A 69 6B 01 00");
  EXPECT_EQ(key(0x0A, Value("ääkkösiä")),
            "7F 4A 4A 5C 5C 64 6B 59 4A 01 13 13 02 02 13 02 02 13 00");
  EXPECT_EQ(key(0x0A, Value("漢字仮名交じり文")),
            "7F C0 B6 AC AC A0 0D A5 47 9F BE 7F 13 7F 43 B6 F6 01 02 02 02 02 02 03 01 01 FF "
            "02 80 FF 80 00");
  EXPECT_EQ(key(0x0A, Value("Мир")), "7F 79 43 79 3B 79 48 01 00");
  // Case, full width and trailing blanks do not change the main part; '-' and '\''
  // only reach the tail.
  EXPECT_EQ(key(0x0A, Value("ABC")), key(0x0A, Value("abc  ")));
  EXPECT_EQ(key(0x0A, Value("ＡＢＣ")), key(0x0A, Value("abc")));
  const std::string plain = key(0x0A, Value("1001"));
  const std::string dashed = key(0x0A, Value("10-01"));
  EXPECT_EQ(dashed.substr(0, plain.size() - 3), plain.substr(0, plain.size() - 3));
  EXPECT_EQ(key(0x0A, Value("a-b")), "7F 4A 4C 01 01 01 01 80 0B 06 82 00");
  EXPECT_EQ(key(0x0A, Value("")), "7F 01 00");
  EXPECT_EQ(key(0x0A, Value("abc"), false), "80 B5 B3 B2 FE FF 00");
  EXPECT_EQ(key(0x0C, Value("abc")), key(0x0A, Value("abc")));
}

TEST(Key, General97TextMatchesAccessKeys) {
  EXPECT_EQ(key(0x0A, Value("row0"), true, kJet3), "7F 75 72 7B 56 00");
  EXPECT_EQ(key(0x0A, Value("a"), true, kJet3), "7F 60 00");
  EXPECT_EQ(key(0x0A, Value("abcdefg"), true, kJet3), "7F 60 61 62 64 66 67 68 00");
  const std::string plutzer =
      key(0x0A, Value("Plutzer Lebensmittelgroßmärkte AG"), true, kJet3);
  EXPECT_EQ(plutzer.substr(plutzer.size() - 26), "60 68 02 22 22 22 22 22 60");
  EXPECT_EQ(key(0x0A, Value("a"), false, kJet3), "80 9F FF");
  EXPECT_EQ(key(0x0A, Value("A  "), true, kJet3), "7F 60 00");
  // Outside code page 1252 there is no stored byte, so no key.
  EXPECT_THROW(key(0x0A, Value("汉"), true, kJet3), Error);
}

TEST(Key, MultiColumnKeysConcatenateInSlotOrder) {
  const KeyColumn cols[] = {{0x04, true, {}, "a"}, {0x0A, false, {}, "b"}};
  const Value vals[] = {Value(int64_t{1}), Value("a")};
  EXPECT_EQ(show(encodeKey(cols, vals)), "7F 80 00 00 01 80 B5 FE FF 00");
}

TEST(Key, RefusesNonNullValuesInSortOrdersItCannotEncodeAndNamesThem) {
  const Collation general2010{0x0409, 1, false, 1252};
  const Collation prc{0x0804, 0, false, 1252};
  const Collation taiwan{0x0404, 0, false, 1252};
  const Collation hungarian{0x040E, 0, false, 1252};
  const Collation jet3prc{0x0804, 0, true, 936};
  const Collation prcVersion1{0x0804, 1, false, 1252};
  const Collation generalVersion2{0x0409, 2, false, 1252};
  EXPECT_EQ(sortOrderOf(general2010), SortOrder::General2010);
  EXPECT_EQ(sortOrderOf(prc), SortOrder::ChinesePrc);
  EXPECT_EQ(sortOrderOf(taiwan), SortOrder::ChineseTaiwan);
  for (const Collation& c : {hungarian, jet3prc, prcVersion1, generalVersion2}) {
    EXPECT_FALSE(encodable(c)) << sortOrderName(c);
    // The Null key is the flag byte in every sort order.
    EXPECT_EQ(key(0x0A, Value(), true, c), "00");
    EXPECT_EQ(key(0x0A, Value(), false, c), "FF");
  }
  EXPECT_NE(sortOrderName(prcVersion1).find("排序版本 1"), std::string::npos);
  EXPECT_TRUE(encodable(kJet3));
  EXPECT_TRUE(encodable(prc));
  EXPECT_TRUE(encodable(general2010));
  const KeyColumn ok[] = {{0x0A, true, {}, "Code"}, {0x08, true, hungarian, "D"}};
  EXPECT_FALSE(unsupported(ok).has_value());  // collation only matters for text
  const KeyColumn bad[] = {{0x04, true, {}, "ID"}, {0x0A, true, hungarian, "科目代码"}};
  const auto why = unsupported(bad);
  ASSERT_TRUE(why.has_value());
  EXPECT_NE(why->find("科目代码"), std::string::npos);
  EXPECT_NE(why->find("Hungarian"), std::string::npos);
  const KeyColumn decimal[] = {{0x10, true, {}, "N"}};
  EXPECT_TRUE(unsupported(decimal).has_value());
  EXPECT_EQ(key(0x10, Value(), true), "00");
  try {
    key(0x0A, Value("x"), true, hungarian);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kReadOnly);
    EXPECT_NE(e.description().find("Hungarian"), std::string::npos);
    EXPECT_NE(e.description().find("清除"), std::string::npos) << e.description();
  }
  EXPECT_FALSE(unencodable(KeyColumn{0x0A, true, hungarian, "c"}, Value()).has_value());
  Bytes out = {0x01};
  EXPECT_FALSE(tryAppendColumnKey(KeyColumn{0x0A, true, hungarian, "c"}, Value("x"), out));
  EXPECT_EQ(out, Bytes{0x01});
}

TEST(Key, ChineseAndAce2010TextMatchAccessKeys) {
  const Collation general2010{0x0409, 1, false, 1252};
  const Collation prc{0x0804, 0, false, 1252};
  const Collation taiwan{0x0404, 0, false, 1252};
  EXPECT_EQ(key(0x0A, Value("1001-01"), true, general2010),
            "7F 0D 19 0D 17 0D 17 0D 19 0D 17 0D 19 01 01 01 01 80 17 06 82 00");
  EXPECT_EQ(key(0x0A, Value("table"), true, general2010), "7F 0E 99 0E 02 0E 09 0E 48 0E 21 01 00");
  // Ideographs have four-byte codes in ACE "General".
  EXPECT_EQ(key(0x0A, Value("\u4E00"), true, general2010), "7F FD FF 3C 6A 01 00");
  // Chinese PRC orders ideographs by pronunciation, Taiwan by strokes; both keep General
  // Legacy for everything the Chinese tables do not list.
  EXPECT_EQ(key(0x0A, Value("\u4E00\u4E01"), true, prc), "7F C8 B5 8C FA 01 00");
  EXPECT_EQ(key(0x0A, Value("Forms"), true, prc), "7F 53 64 69 60 6B 01 00");
  EXPECT_EQ(key(0x0A, Value("a-b"), true, taiwan), key(0x0A, Value("a-b")));
  EXPECT_NE(key(0x0A, Value("\u4E00"), true, taiwan), key(0x0A, Value("\u4E00"), true, prc));
  EXPECT_EQ(key(0x0A, Value("\u4E00\u4E01"), false, prc), "80 37 4A 73 05 FE FF 00");
}

// Every code unit of the General Legacy table's text against the generated table: one
// character's key shows its inline, extra and unprintable codes in fixed places.
TEST(Key, GeneratedGeneralLegacyKeysFollowTheTableText) {
  std::ifstream in(std::string(MDBCHECK_KEY_TABLES) + "/general-legacy.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    std::string a, b, kind, f1, f2, f3;
    f >> a >> b >> kind >> f1 >> f2 >> f3;
    const unsigned first = std::stoul(a, nullptr, 16), last = std::stoul(b, nullptr, 16);
    for (unsigned c = first; c <= last; ++c) {
      std::u16string s;
      s.push_back(u'x');  // a leading letter keeps U/P positions away from zero
      s.push_back(static_cast<char16_t>(c));
      if (c == 0x20) continue;  // trailing blanks are removed
      const Bytes got = generalLegacyText(s, true);
      auto bytesOf = [](const std::string& h) {
        Bytes out;
        for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(std::stoul(h.substr(i, 2), nullptr, 16));
        return out;
      };
      Bytes want = {0x75}, extras, tail;
      if (kind == "S") {
        Bytes code = bytesOf(f1);
        code.back() = static_cast<uint8_t>(code.back() + (c - first));
        want.insert(want.end(), code.begin(), code.end());
      } else if (kind == "I" || kind == "Z") {
        const Bytes code = bytesOf(f1);
        want.insert(want.end(), code.begin(), code.end());
        if (f2 != "-") {
          extras = bytesOf(f2);
          extras.insert(extras.begin(), 0x02);
        }
        if (kind == "Z") {
          tail = {0x01, 0x01};
          if (f3 == "2") tail.push_back(0x80 | 2 << 4);
          tail.insert(tail.end(), {0xFF, 0x02, 0x80, 0xFF, 0x80});
        }
      } else if (kind == "U") {
        tail = {0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, bytesOf(f1)[0]};
      } else if (kind == "P") {
        extras = {static_cast<uint8_t>(0x02 + bytesOf(f1)[0])};
      }
      while (!extras.empty() && extras.back() <= 0x02) extras.pop_back();
      want.push_back(0x01);
      want.insert(want.end(), extras.begin(), extras.end());
      want.insert(want.end(), tail.begin(), tail.end());
      want.push_back(0x00);
      ASSERT_EQ(show(got), show(want)) << "code unit " << std::hex << c << " " << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 60000);
}

namespace {

Bytes hexBytes(const std::string& h) {
  Bytes out;
  for (size_t i = 0; i + 1 < h.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(h.substr(i, 2), nullptr, 16)));
  return out;
}

// Compares every `step`-th run of a table's text (its first and last code unit) with the
// generated entries; `section` picks one "[0x....]" part of a sectioned file.
int compareSample(const std::string& file, detail::CodeTable table, int step,
                  const std::string& section = {}) {
  std::ifstream in(std::string(MDBCHECK_KEY_TABLES) + "/" + file);
  EXPECT_TRUE(in.good()) << file;
  std::string line;
  bool inSection = section.empty();
  int run = 0, checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inSection = line.rfind("[" + section, 0) == 0;
      continue;
    }
    if (!inSection || run++ % step != 0) continue;
    std::istringstream f(line);
    std::string a, b, kind, f1, f2, f3;
    f >> a >> b >> kind >> f1 >> f2 >> f3;
    const unsigned first = std::stoul(a, nullptr, 16), last = std::stoul(b, nullptr, 16);
    for (unsigned c : {first, last}) {
      const detail::CharCode cc = detail::codeOf(table, static_cast<char16_t>(c));
      Bytes code, extra;
      uint8_t flag = 0;
      if (kind == "S" || kind == "U" || kind == "I" || kind == "Z") code = hexBytes(f1);
      if (kind == "S") code.back() = static_cast<uint8_t>(code.back() + (c - first));
      if (kind == "I" || (kind == "Z" && f2 != "-")) extra = hexBytes(f2);
      if (kind == "P") extra = hexBytes(f1);
      if (kind == "Z") flag = static_cast<uint8_t>(std::stoi(f3));
      EXPECT_EQ(cc.kind, kind[0]) << file << ": " << line;
      EXPECT_EQ(Bytes(cc.code, cc.code + cc.codeLen), code) << file << ": " << line;
      EXPECT_EQ(Bytes(cc.extra, cc.extra + cc.extraLen), extra) << file << ": " << line;
      EXPECT_EQ(cc.flag, flag) << file << ": " << line;
      ++checked;
    }
  }
  return checked;
}

}  // namespace

TEST(Key, GeneratedTablesEqualTheirText) {
  EXPECT_GT(compareSample("general-2010.txt", detail::CodeTable::General2010, 7), 4000);
  EXPECT_GT(compareSample("chinese.txt", detail::CodeTable::ChinesePrc, 11, "0x0804"), 3000);
  EXPECT_GT(compareSample("chinese.txt", detail::CodeTable::ChineseTaiwan, 11, "0x0404"), 2000);
  // What the Chinese tables do not list keeps its General Legacy code.
  for (char16_t c : {u'a', u'-', u'\u00E4', u'\u3001', u'\uFF01'}) {
    const detail::CharCode legacy = detail::codeOf(detail::CodeTable::GeneralLegacy, c);
    for (auto t : {detail::CodeTable::ChinesePrc, detail::CodeTable::ChineseTaiwan}) {
      const detail::CharCode cn = detail::codeOf(t, c);
      EXPECT_EQ(cn.kind, legacy.kind);
      EXPECT_EQ(Bytes(cn.code, cn.code + cn.codeLen), Bytes(legacy.code, legacy.code + legacy.codeLen));
    }
  }
}
