// ACE calculated columns read as the result their expression gave, whatever type their
// descriptor carries: the file below keeps a Currency result in a Double column, Yes/No
// results in Integer columns, Decimal and Single results in Decimal columns and a Memo
// result in a Text column of length 0.
#include <gtest/gtest.h>

#include <map>

#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/Dump.h"

TEST(Calculated, EveryResultTypeReadsAsTheExpressionGaveIt) {
  auto db = jet::Database::open(testfiles::corpus("V2010/calcFieldTestV2010.accdb").string(),
                                jet::Database::Mode::ReadOnly);
  const jet::TableInfo& t = *db->findTable("Table1");
  using namespace jet::daotype;
  const std::map<std::string, int> types = {
      {"LastFirst", kText},    {"LastFirstLen", kLong}, {"MonthlySalary", kCurrency},
      {"IsRich", kBoolean},    {"AllNames", kMemo},     {"WeeklySalary", kDecimal},
      {"SalaryTest", kCurrency}, {"BoolTest", kBoolean}, {"DecimalTest", kDecimal},
      {"FloatTest", kSingle},  {"BigNumTest", kDecimal}};
  for (const auto& [name, type] : types) {
    const jet::ColumnInfo* c = t.findColumn(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_TRUE(c->calculated) << name;
    EXPECT_EQ(c->daoType, type) << name;
  }

  std::string dump;
  jet::dumpTable(*db, t, nullptr, &dump);
  // Salary/12 as Currency, Salary>=100000 and True as Yes/No, Salary/52 and the Decimal
  // expressions with their scale, a Single, and a 29-digit Decimal.
  EXPECT_EQ(dump,
            "# Table1\tID\tFirstName\tLastName\tLastFirst\tCity\tLastFirstLen\tSalary\tMonthlySalary\t"
            "IsRich\tAllNames\tWeeklySalary\tSalaryTest\tBoolTest\tPopularity\tDecimalTest\tFloatTest\t"
            "BigNumTest\n"
            "1\tBruce\tWayne\tWayne, Bruce\tGotham\t12\t1000000\t83333.3333\t1\tWayne, Bruce=Wayne, Bruce\t"
            "19230.7692307692\t1000000\t1\t50.325\t50.325\t2583.2092\t56505085819.42479129657228018\n"
            "2\tBart\tSimpson\tSimpson, Bart\tSpringfield\t13\t-1\t-0.0833\t0\tSimpson, Bart=Simpson, Bart\t"
            "-0.0192307692307692\t-1\t1\t-36.2222\t-36.2222\t0.0035889593\t-0.0784734499180612994241100748\n"
            "3\tJohn\tDoe\tDoe, John\tNowhere\t9\t0\t0\t0\tDoe, John=Doe, John\t0\t0\t1\t0.0123\t0.0123\t0\t0\n"
            "4\tTest\tUser\tUser, Test\tHockessin\t10\t100\t8.3333\t0\tUser, Test=User, Test\t"
            "1.92307692307692\t100\t1\t102030405060.654321\t102030405060.654321\t1.27413e-10\t"
            "0.000000278701928982421698083\n");
}
