// mdbcheck-cli sql FILE "SQL": runs one query through the data access objects, as the
// window's commands do, and prints its rows (values as dump prints them) or, for a count
// query, the number alone.
#include <iostream>

#include "Command.h"
#include "Password.h"
#include "data/Dao.h"
#include "jet/Dump.h"

namespace {

int run(const cli::Args& args) {
  if (args.size() != 2) {
    std::cerr << "用法: mdbcheck-cli sql 文件 \"SQL\"\n";
    return 2;
  }
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  auto db = cli::withPassword(args[0], [&](std::string_view) {
    return ws->OpenDatabase(args[0], false, /*readOnly=*/true, cli::connectString().view());
  });
  auto rs = db->OpenRecordset(args[1]);
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
  db->Close();
  ws->Close();
  return 0;
}

cli::Registration reg({"sql", "sql FILE \"SQL\"", run});

}  // namespace
