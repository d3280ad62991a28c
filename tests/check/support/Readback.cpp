#include "Readback.h"



#include <cstdio>
#include <memory>
#include <sstream>
#include <tuple>

#include "TestFiles.h"
#include "data/Dao.h"
#include "jet/DateTime.h"
#include "jet/Dump.h"
#include "jet/Error.h"

namespace checktest {

namespace {

// Text as the console tool prints a list line.
std::string escapedText(const std::string& text) {
  std::string out;
  jet::appendEscaped(out, text);
  return out;
}

using testfiles::runCommand;
using testfiles::shellQuoted;

struct Opened {
  std::shared_ptr<dao::Workspace> ws;
  std::shared_ptr<dao::Database> db;
  explicit Opened(const std::string& path) {
    ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
    db = ws->OpenDatabase(path, true);
  }
  ~Opened() {
    try {
      db->Close();
      ws->Close();
    } catch (...) {
    }
  }
};

}  // namespace

std::vector<std::string> columnThroughEngine(const std::string& path, const std::string& table,
                                             const std::string& column) {
  Opened o(path);
  auto rs = o.db->OpenRecordset("select [" + column + "] from [" + table + "]");
  std::vector<std::string> out;
  const auto field = rs->Fields(0);
  for (; !rs->Eof(); rs->MoveNext()) {
    const jet::Value v = field->Value();
    if (v.isNull())
      out.push_back("\\N");
    else if (v.kind() == jet::Value::Kind::Date)
      out.push_back(jet::formatDateTime(v.asDate().stored));
    else
      out.push_back(escapedText(v.toText()));
  }
  rs->Close();
  return out;
}

std::vector<std::string> columnThroughMdbtools(const std::string& path, const std::string& table,
                                               const std::string& column) {
  const auto [text, status] =
      runCommand("mdb-export -Q -e -0 '\\N' -d '\t' -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
          shellQuoted(path) + " " + shellQuoted(table) + " 2>/dev/null");
  std::vector<std::string> out;
  if (status != 0) return out;
  std::istringstream in(text);
  std::string line;
  int index = -1;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream row(line);
    while (std::getline(row, cell, '\t')) cells.push_back(cell);
    if (line.size() && line.back() == '\t') cells.emplace_back();
    if (index < 0) {
      for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i] == column) index = static_cast<int>(i);
      if (index < 0) return out;
      continue;
    }
    out.push_back(index < static_cast<int>(cells.size()) ? cells[index] : std::string());
  }
  return out;
}

std::vector<std::string> selectThroughEngine(const std::string& path, const std::string& sql) {
  Opened o(path);
  auto rs = o.db->OpenRecordset(sql);
  std::vector<std::string> out;
  const auto field = rs->Fields(0);
  for (; !rs->Eof(); rs->MoveNext()) out.push_back(field->Value().toText());
  rs->Close();
  return out;
}

std::optional<std::string> writeRefusal(const std::string& fixture, const std::string& table,
                                        const std::string& column) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::data(fixture)).string();
  try {
    Opened o(path);
    auto rs = o.db->OpenRecordset("select [" + column + "] from [" + table + "] where [" +
                                  column + "] is not null");
    if (rs->Eof()) return "no value to write";
    rs->Edit();
    rs->Fields(0)->SetValue(rs->Fields(0)->Value());
    rs->Update(dao::dbUpdateRegular, false);
    rs->Close();
  } catch (const jet::Error& e) {
    return std::to_string(e.number()) + " " + e.description();
  }
  return std::nullopt;
}

CliResult runCli(const std::vector<std::string>& args) {
  testfiles::ScratchDir dir;
  const std::string errFile = (dir.path() / "stderr").string();
  std::string command = shellQuoted(testfiles::cli().string());
  for (const std::string& a : args) command += " " + shellQuoted(a);
  testfiles::CommandResult c = runCommand(command + " 2>" + shellQuoted(errFile));
  CliResult r;
  r.out = std::move(c.out);
  r.status = c.status;
  FILE* f = std::fopen(errFile.c_str(), "rb");
  if (f) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) r.err.append(buf, n);
    std::fclose(f);
  }
  return r;
}

std::optional<std::string> verifyProblems(const std::string& path) {
  if (!testfiles::requireCli()) return std::nullopt;
  const std::string cli = testfiles::cli().string();
  const auto [usage, ignored] = runCommand(shellQuoted(cli) + " 2>&1");
  if (usage.find(" verify ") == std::string::npos) {
    testfiles::markToolAbsent("mdbcheck-cli verify (the built tool has no verify command)");
    return std::nullopt;
  }
  const auto [report, status] = runCommand(shellQuoted(cli) + " verify " + shellQuoted(path) + " 2>&1");
  if (status == 0) return std::nullopt;
  return report;
}

}  // namespace checktest
