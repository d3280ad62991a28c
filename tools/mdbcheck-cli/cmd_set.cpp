// mdbcheck-cli set FILE TABLE COLUMN ROW VALUE|--null: writes one value of the ROW-th row
// (0-based, in scan order), durably, as a repair does: VALUE converts to the column's type
// as a repair's field converts it.
#include <iostream>
#include <string>

#include "Command.h"
#include "data/Dao.h"
#include "jet/Error.h"

namespace {

const char* kUsage = "set FILE TABLE COLUMN ROW VALUE|--null";

int run(const cli::Args& args) {
  if (!cli::arguments(args, 5, 5, kUsage)) return 2;
  long row;
  try {
    size_t used = 0;
    row = std::stol(args[3], &used);
    if (used != args[3].size() || row < 0) throw std::invalid_argument("row");
  } catch (const std::logic_error&) {
    std::cerr << "行号必须是从 0 开始的整数：" << args[3] << "\n";
    return 2;
  }
  auto db = cli::openFile(args[0], jet::Database::Mode::Exclusive);
  const jet::TableInfo* table = db->findTable(args[1]);
  if (!table) throw jet::noSuchTable(args[1]);
  const jet::ColumnInfo* column = table->findColumn(args[2]);
  if (!column) {
    std::cerr << "表 '" << table->name << "' 没有字段 '" << args[2] << "'。\n";
    return 1;
  }
  auto cursor = db->scan(*table);
  for (long i = 0; i <= row; ++i)
    if (!cursor->next()) throw jet::noCurrentRecord();
  const jet::RowId id = cursor->rowId();
  cursor.reset();
  const jet::Value value =
      args[4] == "--null" ? jet::Value() : dao::ConvertToColumn(*column, jet::Value(args[4]));
  db->update(*table, id, column->position, value);
  db->close();
  return 0;
}

cli::Registration reg({"set", kUsage, run});

}  // namespace
