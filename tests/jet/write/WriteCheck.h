#pragma once
// What every write test checks afterwards: the file's structure, our own reading of each
// table, and mdbtools' reading of the changed table.
#include <map>
#include <string>
#include <vector>

#include "jet/Database.h"

namespace writecheck {

// Our dump of every local table, by name (a table that cannot be dumped: its error text).
std::map<std::string, std::string> dumpAll(const std::string& path);

// The problems `verify` reports: structure, then indexes.
std::vector<std::string> problems(const std::string& path);

// The identity of the k-th row of a table in scan order.
jet::RowId rowAt(jet::Database& db, const std::string& table, int k);

// Dump lines without the header: each a vector of fields.
std::vector<std::vector<std::string>> rowsOf(const std::string& dump);
std::string joinRows(const std::string& header, const std::vector<std::vector<std::string>>& rows);

// Differences between mdb-export's reading of the table and our expected rows (as fields
// in dump form, any order); empty when they agree row for row. When mdbtools is missing:
// "", and the running test is marked skipped.
// columns: which columns to compare (default: all mdbtools can read).
std::string compareWithMdbtools(const std::string& path, const jet::TableInfo& table,
                                const std::vector<std::vector<std::string>>& expected,
                                const std::vector<bool>* columns = nullptr);

// The columns on which mdbtools' reading of an unchanged file agrees with ours (mdbtools
// misreads some columns of some files: those cannot judge a write); every column when
// mdbtools is missing.
std::vector<bool> agreeingColumns(const std::string& path, const jet::TableInfo& table,
                                  const std::vector<std::vector<std::string>>& ours);

// Whether any of the lines holds part.
bool anyContains(const std::vector<std::string>& lines, const std::string& part);

// The whole file.
std::vector<uint8_t> bytesOf(const std::string& path);

}  // namespace writecheck
