#include <gtest/gtest.h>

#include "jet/DateTime.h"
#include "jet/Error.h"
#include "jet/sql/DateLiteral.h"
#include "jet/sql/Parser.h"

namespace {

using namespace jet::sql;

int errorOf(const std::string& sql, std::string* description = nullptr) {
  try {
    parse(sql);
  } catch (const jet::Error& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

TEST(Parser, TheQueriesTheChecksSend) {
  Statement c = parse("Select count(*)  from [Orders] where Shipped<#1900-1-1# and Shipped>#0:0:0#");
  EXPECT_EQ(c.kind, Statement::Kind::Count);
  ASSERT_EQ(c.tables.size(), 1u);
  EXPECT_EQ(c.tables[0], "Orders");
  ASSERT_TRUE(c.where);
  EXPECT_EQ(c.where->kind, Expr::Kind::And);
  EXPECT_EQ(c.where->lhs->op, CompareOp::Lt);
  EXPECT_EQ(c.where->lhs->rhs->literal, jet::Value(jet::Date{2.0}));
  EXPECT_EQ(c.where->rhs->op, CompareOp::Gt);
  EXPECT_EQ(c.where->rhs->rhs->literal, jet::Value(jet::Date{0.0}));

  Statement t = parse("Select count(*)  from [Order Details] where Remark like '*[-+*/#%<>:,{='']*'");
  EXPECT_EQ(t.tables[0], "Order Details");
  EXPECT_EQ(t.where->kind, Expr::Kind::Like);
  EXPECT_EQ(t.where->rhs->literal, jet::Value("*[-+*/#%<>:,{=']*"));

  Statement s = parse("select Remark from Orders where Remark  like '*[-+*/#%<>:,{='']*'");
  EXPECT_EQ(s.kind, Statement::Kind::Columns);
  ASSERT_EQ(s.items.size(), 1u);
  EXPECT_EQ(s.items[0].name, "Remark");

  Statement b = parse("SELECT [Ship Date], 凭证号 FROM [凭证] WHERE [Ship Date] <#1900-1-1# AND NOT ([x] IS NOT NULL OR y NOT LIKE \"a\"\"b\");");
  ASSERT_EQ(b.items.size(), 2u);
  EXPECT_EQ(b.items[0].name, "Ship Date");
  EXPECT_EQ(b.items[1].name, "凭证号");
  EXPECT_EQ(b.tables[0], "凭证");
  EXPECT_EQ(b.where->rhs->kind, Expr::Kind::Not);
  const Expr& inner = *b.where->rhs->lhs;
  EXPECT_EQ(inner.kind, Expr::Kind::Or);
  EXPECT_TRUE(inner.lhs->negated);
  EXPECT_EQ(inner.rhs->rhs->literal, jet::Value("a\"b"));
}

TEST(Parser, PrecedenceAndLiterals) {
  // a OR b AND c is a OR (b AND c).
  Statement s = parse("select * from t where a=1 or b<>-2.5 and c>=d");
  EXPECT_EQ(s.kind, Statement::Kind::Star);
  EXPECT_EQ(s.where->kind, Expr::Kind::Or);
  EXPECT_EQ(s.where->rhs->kind, Expr::Kind::And);
  EXPECT_EQ(s.where->rhs->lhs->rhs->literal, jet::Value(-2.5));
  EXPECT_EQ(s.where->lhs->rhs->literal, jet::Value(int64_t{1}));
  EXPECT_EQ(s.where->rhs->rhs->rhs->kind, Expr::Kind::Column);
  Statement n = parse("select count(x) as n from t where x is null");
  EXPECT_TRUE(n.countColumn);
  EXPECT_EQ(n.countAlias, "n");
}

TEST(Parser, ErrorsCarryTheClauseAtFault) {
  std::string d;
  EXPECT_EQ(errorOf("Select count(*)  from [Shipments] where Ship Date<#1900-1-1# and Ship Date>#0:0:0#", &d), 3075);
  EXPECT_EQ(d, "查询表达式 'Ship Date<#1900-1-1# and Ship Date>#0:0:0#' 中 语法错误 (缺少运算符)。");
  EXPECT_EQ(errorOf("select Memo2 from Order Details where Memo2  like '*[-]*'"), 3131);
  EXPECT_EQ(errorOf("select x from a b"), 3131);
  EXPECT_EQ(errorOf("select x from"), 3131);
  EXPECT_EQ(errorOf("update t set x=1"), 3129);
  EXPECT_EQ(errorOf(""), 3129);
  EXPECT_EQ(errorOf("select from t"), 3141);
  EXPECT_EQ(errorOf("select a b from t"), 3141);
  EXPECT_EQ(errorOf("select a from t where"), 3075);
  EXPECT_EQ(errorOf("select a from t where a = 'open"), 3075);
  EXPECT_EQ(errorOf("select a from t where a < #1900-1-1"), 3075);
  EXPECT_EQ(errorOf("select a from t where a < #2024-02-30#", &d), 3075);
  EXPECT_NE(d.find("日期"), std::string::npos);
  EXPECT_EQ(errorOf("select a from t where Order like '*'"), 3075);
  EXPECT_EQ(errorOf("select a from t where (a = 1"), 3075);
  EXPECT_EQ(errorOf("select a from t where a = 1 b"), 3075);
  EXPECT_EQ(errorOf("select [a from t"), 3141);
}

TEST(DateLiteral, FormsJetReads) {
  auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return jet::encodeDate({y, mo, d, h, mi, s});
  };
  struct C {
    const char* text;
    double stored;
  } cases[] = {
      {"1900-1-1", 2.0},
      {"0:0:0", 0.0},
      {"1899-12-30", 0.0},
      {"1900-01-01 10:00:00", 2.0 + 10.0 / 24},
      {"1/1/1900", 2.0},
      {"12/31/1899 23:59:59", at(1899, 12, 31, 23, 59, 59)},
      {"10:00 PM", 22.0 / 24},
      {"12:30 AM", 0.5 / 24},
      {"1899-12-29 12:00", -1.5},
      {"13/1/2000", at(2000, 1, 13)},  // no 13th month: the day comes first
      {"6/30/24", at(2024, 6, 30)},
      {"1/2/45", at(1945, 1, 2)},
      {"2024/6/30", at(2024, 6, 30)},
      {"2024.06.30 8:05", at(2024, 6, 30, 8, 5)},
      {"2024年6月30日", at(2024, 6, 30)},
      {" 1900-1-1 ", 2.0},
  };
  for (const auto& c : cases) {
    auto d = parseDateLiteral(c.text);
    ASSERT_TRUE(d.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*d, c.stored) << c.text;
  }
  for (const char* bad : {"", "abc", "2024-02-30", "2/30/2024", "24:00", "1900-1-1 25:00",
                          "13/13/2000", "1900-1", "10:00 XM", "99999-1-1"})
    EXPECT_FALSE(parseDateLiteral(bad).has_value()) << bad;
}

}  // namespace

namespace {

// Arbitrary text, glued from the pieces statements are made of, either parses or fails
// with a jet::Error; nothing else escapes and nothing hangs.
TEST(Parser, ArbitraryTextFailsCleanly) {
  const char* pieces[] = {"select ", "from ", "where ", "count(*) ", "count(", "* ", "[a] ", "a ",
                          "'x' ", "'", "\"", "#1900-1-1# ", "#", "( ", ") ", "and ", "or ",
                          "not ", "like ", "is ", "null ", "< ", ">= ", "= ", "<> ", ", ", "[",
                          "] ", "1.5 ", "- ", ". ", "; ", "凭证 ", "\xff", "as ", "t.a "};
  uint32_t seed = 12345;
  auto rnd = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  int parsed = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string sql = i % 2 ? "select a from t where " : "";
    const int n = rnd() % 12;
    for (int k = 0; k < n; ++k) sql += pieces[rnd() % (sizeof pieces / sizeof *pieces)];
    try {
      jet::sql::parse(sql);
      ++parsed;
    } catch (const jet::Error& e) {
      EXPECT_TRUE(e.number() == 3075 || e.number() == 3129 || e.number() == 3131 ||
                  e.number() == 3141)
          << sql << " -> " << e.number();
    }
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
