// The fast paths count what the fixtures' oracle counted: for every candidate column of
// every fixture, the dates with 0 < d < 2 and the texts holding a default special
// character. Also the collection order and which tables are ordinary.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace {

struct Expected {
  std::string table, column;
  long count;
};

std::string decodeJsonString(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    char e = s[++i];
    if (e == 'u') {
      unsigned cp = std::stoul(s.substr(i + 1, 4), nullptr, 16);
      i += 4;
      if (cp < 0x80) {
        out += static_cast<char>(cp);
      } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
      }
    } else {
      out += e;
    }
  }
  return out;
}

// The per-column counts of one file and mode ("dates" or "chars") from expected.json.
std::vector<Expected> expected(const std::string& file, const std::string& mode) {
  std::ifstream in(testfiles::data("expected.json"));
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string json = ss.str();
  size_t at = json.find("\"" + file + "\": {");
  at = json.find("\"" + mode + "\": {", at);
  const size_t end = json.find("\"tree\"", at);
  const std::string part = json.substr(at, end - at);
  static const std::regex entry(
      R"re(\{"table": "((?:[^"\\]|\\.)*)", "column": "((?:[^"\\]|\\.)*)", "count": (\d+)\})re");
  std::vector<Expected> out;
  for (std::sregex_iterator it(part.begin(), part.end(), entry), e; it != e; ++it)
    out.push_back({decodeJsonString((*it)[1]), decodeJsonString((*it)[2]), std::stol((*it)[3])});
  return out;
}

long countDates(jet::Database& db, const jet::TableInfo& t, int column) {
  auto cur = db.scan(t);
  long n = 0;
  double d;
  while (cur->next())
    if (cur->date(column, d) && d > 0 && d < 2) ++n;
  return n;
}

long countChars(jet::Database& db, const jet::TableInfo& t, int column) {
  static const std::string specials = "-+*/#%<>:,{='";
  auto cur = db.scan(t);
  long n = 0;
  std::string s;
  while (cur->next())
    if (cur->text(column, s) && s.find_first_of(specials) != std::string::npos) ++n;
  return n;
}

const char* kFixtures[] = {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb",
                           "linked_target.mdb", "template2000.mdb", "flags2000.mdb",
                           "rawdates2000.mdb"};

}  // namespace

TEST(FixtureCounts, DateAndTextDefectsPerColumn) {
  for (const char* file : kFixtures) {
    auto db = jet::Database::open(testfiles::data(file).string(), jet::Database::Mode::ReadOnly);
    for (const char* mode : {"dates", "chars"}) {
      auto cols = expected(file, mode);
      for (const auto& e : cols) {
        const jet::TableInfo* t = db->findTable(e.table);
        ASSERT_NE(t, nullptr) << file << " " << e.table;
        const jet::ColumnInfo* c = t->findColumn(e.column);
        ASSERT_NE(c, nullptr) << file << " " << e.table << "." << e.column;
        const long got = std::string(mode) == "dates" ? countDates(*db, *t, c->position)
                                                      : countChars(*db, *t, c->position);
        EXPECT_EQ(got, e.count) << file << " " << mode << " " << e.table << "." << e.column;
      }
    }
  }
}

TEST(FixtureCounts, OrdinaryTablesInCollectionOrder) {
  auto db = jet::Database::open(testfiles::data("checks2000.mdb").string(), jet::Database::Mode::ReadOnly);
  std::vector<std::string> ordinary, all;
  for (const auto& t : db->tables()) {
    all.push_back(t.name);
    if (t.attributes == 0) ordinary.push_back(t.name);
  }
  EXPECT_EQ(ordinary, (std::vector<std::string>{"a,b", "Big", "Clean", "NoCandidates", "Order Details",
                                                "Orders", "Reserved", "ROOT", "Shipments", "Wide", "凭证"}));
  EXPECT_EQ(db->findTable("LinkedOrders")->attributes, 0x40000000);
  EXPECT_TRUE(db->findTable("LinkedOrders")->linked);
  EXPECT_EQ(db->findTable("msysobjects")->attributes, static_cast<int32_t>(0x80000002u));
  EXPECT_THROW(db->scan(*db->findTable("LinkedOrders")), jet::Error);

  auto flags = jet::Database::open(testfiles::data("flags2000.mdb").string(), jet::Database::Mode::ReadOnly);
  EXPECT_EQ(flags->findTable("HiddenT")->attributes, 1);
  EXPECT_EQ(flags->findTable("Visible")->attributes, 0);
}
