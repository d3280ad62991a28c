#pragma once
// The oracle's counts from expected.json: for each file, mode ("dates"/"chars") and
// candidate column, how many rows are defective.
#include <map>
#include <string>
#include <vector>

namespace expected {

struct ColumnCount {
  std::string table, column;
  long count = 0;
};

struct FileCounts {
  std::vector<ColumnCount> dates, chars;
  std::string checkChars;  // the special characters the chars counts were made with
  // The defect trees' columns (count above zero), table by table as each tree lists them,
  // and the tables in the catalog's order.
  std::vector<ColumnCount> datesTree, charsTree;
  std::vector<std::string> catalogOrder;
};

// Every file of expected.json, by file name.
std::map<std::string, FileCounts> load(const std::string& path);

}  // namespace expected
