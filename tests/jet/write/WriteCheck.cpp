#include "WriteCheck.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "Mdbtools.h"
#include "TestFiles.h"
#include "jet/Dump.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/verify/VerifyIndexes.h"
#include "jet/verify/Verify.h"

namespace writecheck {

std::map<std::string, std::string> dumpAll(const std::string& path) {
  std::map<std::string, std::string> out;
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  for (const auto& t : db->tables()) {
    if (t.linked) continue;
    try {
      jet::dumpTable(*db, t, nullptr, &out[t.name]);
    } catch (const jet::Error& e) {
      out[t.name] = "error: " + e.description();
    }
  }
  return out;
}

std::vector<std::string> problems(const std::string& path) {
  auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::ReadOnly);
  auto out = jet::write::verifyStructure(*db);
  for (auto& p : jet::index::verifyIndexes(*db)) out.push_back(std::move(p));
  return out;
}

jet::RowId rowAt(jet::Database& db, const std::string& table, int k) {
  auto cursor = db.scan(*db.findTable(table));
  for (int i = 0; i <= k; ++i)
    if (!cursor->next()) throw jet::noCurrentRecord();
  return cursor->rowId();
}

std::vector<std::vector<std::string>> rowsOf(const std::string& dump) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(dump);
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) {
      header = false;
      continue;
    }
    rows.push_back(mdbtools::splitTabs(line));
  }
  return rows;
}

std::string joinRows(const std::string& header, const std::vector<std::vector<std::string>>& rows) {
  std::string out = header + "\n";
  for (const auto& r : rows) {
    for (size_t i = 0; i < r.size(); ++i) out += (i ? "\t" : "") + r[i];
    out += "\n";
  }
  return out;
}

std::vector<bool> agreeingColumns(const std::string& path, const jet::TableInfo& table,
                                  const std::vector<std::vector<std::string>>& ours) {
  // Without mdbtools every column stands as judged: compareWithMdbtools then marks the
  // test skipped instead of letting it pass on our reading alone.
  if (!mdbtools::available()) return std::vector<bool>(table.columns.size(), true);
  std::vector<bool> agree(table.columns.size(), false);
  auto theirs = mdbtools::exportTable(path, table.name);
  if (!theirs || theirs->rows.size() != ours.size()) return agree;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    auto it = std::find(theirs->header.begin(), theirs->header.end(), table.columns[i].name);
    if (it == theirs->header.end()) continue;
    const size_t w = size_t(it - theirs->header.begin());
    const size_t key = size_t(std::find(theirs->header.begin(), theirs->header.end(),
                                        table.columns[0].name) - theirs->header.begin());
    // Rows matched by their first field: mdbtools lists moved rows where their data lives.
    std::multimap<std::string, std::string> want;
    for (const auto& r : ours) want.emplace(r[0], r[i]);
    bool same = true;
    for (const auto& raw : theirs->rows) {
      if (w >= raw.size() || key >= raw.size()) {
        same = false;
        break;
      }
      auto [lo, hi] = want.equal_range(mdbtools::normalise(raw[key], table.columns[0].daoType));
      auto hit = lo;
      while (hit != hi && !mdbtools::sameValue(hit->second, raw[w], table.columns[i].daoType)) ++hit;
      if (hit == hi) {
        same = false;
        break;
      }
      want.erase(hit);
    }
    agree[i] = same;
  }
  return agree;
}

std::string compareWithMdbtools(const std::string& path, const jet::TableInfo& table,
                                const std::vector<std::vector<std::string>>& expected,
                                const std::vector<bool>* columns) {
  if (!mdbtools::required()) return "";
  auto theirs = mdbtools::exportTable(path, table.name);
  if (!theirs) return "mdb-export failed on " + table.name;
  if (theirs->rows.size() != expected.size())
    return table.name + ": mdb-export has " + std::to_string(theirs->rows.size()) +
           " rows, expected " + std::to_string(expected.size());
  // Columns by name: mdbtools lists them by storage number.
  std::vector<size_t> where;
  for (const auto& c : table.columns) {
    auto it = std::find(theirs->header.begin(), theirs->header.end(), c.name);
    if (it == theirs->header.end()) return table.name + ": mdb-export lacks column " + c.name;
    where.push_back(size_t(it - theirs->header.begin()));
  }
  // Calculated columns and types mdbtools does not know are not compared.
  std::vector<bool> readable;
  for (const auto& c : table.columns)
    readable.push_back(!c.calculated && c.jetType >= 0x01 && c.jetType <= 0x12 &&
                       c.jetType != 0x0D && c.jetType != 0x0E && c.jetType != 0x11 &&
                       (!columns || (*columns)[size_t(c.position)]));
  // Moved rows come out of mdbtools where their data lives: match rows by content,
  // grouped by the first field.
  std::multimap<std::string, const std::vector<std::string>*> pending;
  for (const auto& r : expected) pending.emplace(r.empty() ? "" : r[0], &r);
  std::ostringstream diff;
  for (const auto& raw : theirs->rows) {
    std::vector<std::string> row;
    for (size_t w : where) row.push_back(w < raw.size() ? raw[w] : "");
    const std::string key = mdbtools::normalise(row[0], table.columns[0].daoType);
    auto [lo, hi] = pending.equal_range(key);
    bool found = false;
    for (auto it = lo; it != hi && !found; ++it) {
      const auto& want = *it->second;
      bool same = want.size() == row.size();
      for (size_t i = 0; same && i < row.size(); ++i)
        same = !readable[i] || mdbtools::sameValue(want[i], row[i], table.columns[i].daoType);
      if (same) {
        pending.erase(it);
        found = true;
      }
    }
    if (!found) {
      diff << table.name << ": mdb-export row not expected:";
      for (const auto& f : row) diff << " [" << f << "]";
      diff << "\n";
    }
  }
  return diff.str();
}

std::vector<uint8_t> bytesOf(const std::string& path) { return testfiles::fileBytes(path); }

bool anyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace writecheck
