// mdbcheck-cli sql FILE "SQL": runs one query through the data access objects, as the
// window's commands do, and prints its rows (values as dump prints them) or, for a count
// query, the number alone.
#include <iostream>

#include "Command.h"
#include "data/Dao.h"
#include "jet/Dump.h"

namespace {

const char* kUsage = "sql FILE \"SQL\"";

int run(const cli::Args& args) {
  if (!cli::arguments(args, 2, 2, kUsage)) return 2;
  cli::DaoFile file = cli::openDaoFile(args[0], false, /*readOnly=*/true);
  auto rs = file.database->OpenRecordset(args[1]);
  const int n = rs->FieldCount();
  std::string line;
  while (!rs->Eof()) {
    line.clear();
    for (int16_t i = 0; i < n; ++i) {
      if (i) line += '\t';
      jet::appendDumpValue(line, rs->Fields(i)->Value());
    }
    std::cout << line << '\n';
    rs->MoveNext();
  }
  rs->Close();
  file.close();
  return 0;
}

cli::Registration reg({"sql", kUsage, run});

}  // namespace
