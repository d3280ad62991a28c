#pragma once
// mdbtools as a second, independent reader: its export of a table, brought into the form
// of our dump (jet/Dump.h) so that the two can be compared line by line.
//
// The normaliser removes only differences of presentation (currency's fixed four
// decimals, GUIDs exported as hex of their text, floating-point digits). Its known
// limits as a reader (empty text exported as Null, dates it cannot print) are left to
// the caller, which must decide them per value.
#include <optional>
#include <string>
#include <vector>

namespace mdbtools {

// True when mdb-export can be run.
bool available();

// What a test that needs mdb-export says when it is missing, and on Windows.
inline constexpr const char* kAbsent = "mdb-export (scripts/setup.sh installs mdbtools)";
inline constexpr const char* kLinuxOnly = "mdb-export, the second reader, is a Linux program";

// available(); when not, marks the running test skipped for want of mdb-export without
// stopping it (its own checks still run), so that it can never pass without the comparison.
bool required();

struct Export {
  std::vector<std::string> header;             // column names
  std::vector<std::vector<std::string>> rows;  // raw fields, escapes as in our dump
};

// mdb-export of one table with TAB separators, no quoting, C-style escapes, full dates,
// Null as \N and binary as hex. nullopt when mdb-export fails.
std::optional<Export> exportTable(const std::string& file, const std::string& table);

// One exported field in our dump's form, for a column of DAO type `daoType`.
std::string normalise(const std::string& field, int daoType);

// Whether two fields of a column of DAO type `daoType`, ours and mdbtools' (normalised),
// mean the same value, allowing for mdbtools' known limits: an empty text exported as
// Null; a date with a negative stored double or one above 1e6 printed as
// 1900-01-00 00:00:00; times rounded without carrying (…24:00:00); floating-point values
// printed with fewer digits.
bool sameValue(const std::string& ours, const std::string& theirs, int daoType);

// Splits a line at TABs.
std::vector<std::string> splitTabs(const std::string& line);

}  // namespace mdbtools

// Skips the current test at once when mdb-export is missing.
#ifdef _WIN32
#define SKIP_WITHOUT_MDBTOOLS() GTEST_SKIP() << "posix only: " << ::mdbtools::kLinuxOnly
#else
#define SKIP_WITHOUT_MDBTOOLS()                                                 \
  do {                                                                          \
    if (!::mdbtools::available())                                               \
      GTEST_SKIP() << "tool absent: " << ::mdbtools::kAbsent;                   \
  } while (0)
#endif
