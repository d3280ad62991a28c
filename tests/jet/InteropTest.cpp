// Our reading of every ordinary table equals mdbtools' reading of it, for every fixture
// and every corpus file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "Mdbtools.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/Dump.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

// Columns mdbtools cannot read: calculated columns (it shows the stored wrapper),
// Date/Time Extended and types it does not know (it shows nothing).
bool readable(const jet::ColumnInfo& c) {
  if (c.calculated) return false;
  switch (c.jetType) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08:
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0F: case 0x10: case 0x12:
      return true;
    default:
      return false;
  }
}

// Compares one file; returns a description of every difference (empty when equal).
std::string compareFile(const fs::path& file) {
  std::ostringstream diff;
  auto db = jet::Database::open(file.string(), jet::Database::Mode::ReadOnly);
  for (const auto& t : db->tables()) {
    if (t.attributes != 0 || t.linked) continue;
    std::string ours;
    jet::dumpTable(*db, t, nullptr, &ours);
    auto mine = lines(ours);
    auto theirs = mdbtools::exportTable(file.string(), t.name);
    if (!theirs) {
      diff << file.filename() << " " << t.name << ": mdb-export failed\n";
      continue;
    }
    std::vector<std::string> names = mdbtools::splitTabs(mine[0].substr(2));
    names.erase(names.begin());
    // mdbtools lists columns by their storage number, we by the order of the definition's
    // descriptors (the field collection's order); they differ for some system tables.
    std::vector<size_t> where(names.size(), 0);
    bool sameNames = names.size() == theirs->header.size();
    for (size_t i = 0; i < names.size() && sameNames; ++i) {
      auto it = std::find(theirs->header.begin(), theirs->header.end(), names[i]);
      if (it == theirs->header.end()) {
        sameNames = false;
      } else {
        where[i] = static_cast<size_t>(it - theirs->header.begin());
      }
    }
    if (!sameNames) {
      diff << file.filename() << " " << t.name << ": column names differ\n";
      continue;
    }
    for (auto& row : theirs->rows) {
      if (row.size() != where.size()) continue;
      std::vector<std::string> ordered;
      for (size_t i = 0; i < where.size(); ++i) ordered.push_back(row[where[i]]);
      row = std::move(ordered);
    }
    if (mine.size() - 1 != theirs->rows.size()) {
      diff << file.filename() << " " << t.name << ": " << mine.size() - 1 << " rows, mdbtools "
           << theirs->rows.size() << "\n";
      continue;
    }
    // mdbtools lists a row that was moved to another page (an overflow row) where its
    // data now lies; we list it where it was first stored, which is its identity. So rows
    // are matched in order where possible, and anywhere otherwise.
    auto matches = [&](const std::vector<std::string>& fields, const std::vector<std::string>& other) {
      if (fields.size() != t.columns.size() || other.size() != t.columns.size()) return false;
      for (size_t c = 0; c < fields.size(); ++c)
        if (readable(t.columns[c]) && !mdbtools::sameValue(fields[c], other[c], t.columns[c].daoType))
          return false;
      return true;
    };
    std::vector<bool> used(theirs->rows.size(), false);
    size_t next = 0;
    int reported = 0;
    for (size_t r = 0; r + 1 < mine.size() && reported < 5; ++r) {
      auto fields = mdbtools::splitTabs(mine[r + 1]);
      while (next < used.size() && used[next]) ++next;
      size_t found = used.size();
      if (next < used.size() && matches(fields, theirs->rows[next])) {
        found = next;
      } else {
        for (size_t k = 0; k < used.size(); ++k)
          if (!used[k] && matches(fields, theirs->rows[k])) {
            found = k;
            break;
          }
      }
      if (found < used.size()) {
        used[found] = true;
        continue;
      }
      ++reported;
      diff << file.filename() << " " << t.name << " row " << r << " has no equal in mdbtools' export";
      if (next < used.size()) {
        const auto& other = theirs->rows[next];
        for (size_t c = 0; c < fields.size() && c < other.size(); ++c)
          if (readable(t.columns[c]) && !mdbtools::sameValue(fields[c], other[c], t.columns[c].daoType))
            diff << "; next unmatched differs in " << t.columns[c].name << ": ours ["
                 << fields[c].substr(0, 200) << "] mdbtools [" << other[c].substr(0, 200) << "]";
      }
      diff << "\n";
    }
  }
  return diff.str();
}

std::vector<fs::path> jetFiles(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const auto ext = e.path().extension();
    if (ext == ".mdb" || ext == ".accdb") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(Interop, FixturesReadAsMdbtoolsReadsThem) {
  SKIP_WITHOUT_MDBTOOLS();
  for (const auto& f : jetFiles(testfiles::data(""))) EXPECT_EQ(compareFile(f), "") << f;
}

TEST(Interop, CorpusReadsAsMdbtoolsReadsIt) {
  SKIP_WITHOUT_MDBTOOLS();
  const auto files = testfiles::corpusFiles();
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) EXPECT_EQ(compareFile(f), "") << f;
}

TEST(Interop, MoreSharedCorpusFilesReadAsMdbtoolsReadsThem) {
  SKIP_WITHOUT_SHARED("corpus");
  SKIP_WITHOUT_MDBTOOLS();
  for (const auto& f : testfiles::moreCorpusFiles()) EXPECT_EQ(compareFile(f), "") << f;
}
