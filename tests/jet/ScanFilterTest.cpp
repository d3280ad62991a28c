// The read-ahead road of filtered scans: pages read in runs as get(n) gives them, the
// text test deciding exactly what the decoding would show, and a walk over worker threads
// handing out the rows the plain walk keeps, in its order.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/ScanFilter.h"
#include "jet/TableScan.h"
#include "jet/format/Text.h"
#include "jet/os/FaultEnv.h"

using jet::Database;

namespace {

std::unique_ptr<jet::JetDatabase> openFile(const std::string& path, Database::Mode mode = Database::Mode::ReadOnly) {
  return jet::JetDatabase::open(jet::os::Env::system(), path, mode);
}

// The bytes of every page 1.. as get(n) gives them, against readRun over the same pages
// in one run and page by page.
void expectRunsAsPages(jet::Pager& pager) {
  const uint32_t ps = pager.pageSize(), count = pager.pageCount();
  ASSERT_GT(count, 2u);
  std::vector<uint8_t> all(size_t(count - 1) * ps), one(ps);
  pager.readRun(1, count - 1, all.data());
  for (uint32_t n = 1; n < count; ++n) {
    const jet::PageRef ref = pager.get(n);
    const uint8_t* p = ref.data();
    ASSERT_EQ(0, std::memcmp(p, all.data() + size_t(n - 1) * ps, ps)) << "page " << n;
    pager.readRun(n, 1, one.data());
    ASSERT_EQ(0, std::memcmp(p, one.data(), ps)) << "page " << n;
  }
}

std::string failureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(ReadRun, GivesThePagesAsPageDoesWithTheWritePathsImagesAndItsFailures) {
  testfiles::ScratchDir dir;
  const auto copy = dir.copy(testfiles::data("checks2003.mdb"));
  {
    auto db = openFile(copy.string());
    expectRunsAsPages(db->pager());
    // Past the end: the failure get(n) gives, whether the run starts there or reaches it.
    const uint32_t end = db->pager().pageCount();
    std::vector<uint8_t> buf(size_t(3) * db->pager().pageSize());
    const std::string past = failureOf([&] { db->pager().readRun(end - 1, 2, buf.data()); });
    EXPECT_NE(past, "");
    EXPECT_EQ(past, failureOf([&] { db->pager().get(end); }));
  }
  // Changed pages (and pages added) come from the transaction's dirty pages.
  auto db = openFile(copy.string(), Database::Mode::Exclusive);
  const jet::TableInfo* t = nullptr;
  for (const auto& ti : db->tables())
    if (!ti.system && !ti.linked && ti.rowCount > 0 && ti.findColumn("T") != nullptr) t = &ti;
  ASSERT_NE(t, nullptr);
  const int col = t->findColumn("T")->position;
  const uint32_t before = db->pager().pageCount();
  db->beginWholeBatch();
  auto cur = db->scan(*t);
  std::vector<jet::RowId> ids;
  while (cur->next()) ids.push_back(cur->rowId());
  cur.reset();
  // Longer values move some rows onto other pages.
  for (jet::RowId id : ids) db->update(*t, id, col, jet::Value(std::string(50, 'x')));
  EXPECT_GE(db->pager().pageCount(), before);
  expectRunsAsPages(db->pager());
  db->rollbackBatch();
  const std::string table = t->name;
  db.reset();

  // A crash that leaves a hot journal, and the pages the change rewrites torn in the file
  // as a crash during their writing leaves them: a read-only open reads around them, and
  // so does readRun, from the journal's originals.
  const auto original = testfiles::fileBytes(copy);
  const size_t reader0PageSize = openFile(copy.string())->pager().pageSize();
  auto rewrite = [&](jet::os::Env& env) {
    auto w = jet::JetDatabase::open(env, copy.string(), Database::Mode::Exclusive);
    w->beginWholeBatch();
    for (jet::RowId id : ids) w->update(*w->findTable(table), id, col, jet::Value(std::string(50, 'y')));
    w->commitBatch();
  };
  rewrite(jet::os::Env::system());
  const auto changed = testfiles::fileBytes(copy);
  ASSERT_NE(changed, original);
  bool hot = false;
  for (uint64_t k = 1; k < 100 && !hot; ++k) {
    testfiles::copyOver(testfiles::data("checks2003.mdb"), copy);
    {
      jet::os::FaultEnv env;
      env.crashAt(k);
      try {
        rewrite(env);
      } catch (const jet::os::SimulatedCrash&) {
      }
      env.settle(jet::os::FaultEnv::Loss::None);
    }
    hot = openFile(copy.string())->pager().rolledBack();
  }
  ASSERT_TRUE(hot) << "no crash left a hot journal";
  auto file = testfiles::fileBytes(copy);
  const size_t ps = reader0PageSize;
  int tornPages = 0;
  for (size_t at = 0; at + ps <= std::min(file.size(), changed.size()); at += ps)
    if (std::memcmp(file.data() + at, changed.data() + at, ps) != 0) {
      std::memcpy(file.data() + at, changed.data() + at, ps / 2);
      ++tornPages;
    }
  ASSERT_GT(tornPages, 0);
  std::ofstream(copy, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  auto reader = openFile(copy.string());
  ASSERT_TRUE(reader->pager().rolledBack());
  ASSERT_EQ(size_t(reader->pager().pageCount()) * reader->pager().pageSize(), original.size());
  expectRunsAsPages(reader->pager());
  std::vector<uint8_t> all(size_t(reader->pager().pageCount() - 1) * reader->pager().pageSize());
  reader->pager().readRun(1, reader->pager().pageCount() - 1, all.data());
  EXPECT_EQ(0, std::memcmp(all.data(), original.data() + reader->pager().pageSize(), all.size()));
}

// The text test against the decoding: a value holds a character of the set exactly when
// its decoded UTF-8 holds one of those bytes.
TEST(AsciiSearch, Jet4TextIsKeptExactlyWhenItsDecodingHoldsACharacterOfTheSet) {
  std::mt19937 rng(19);
  const std::vector<std::string> sets = {"-+*/#%<>:,{='", "aA", "-", "!\"#$%&'()*+,-./0123456789:;<=>?@"};
  // Units that make the searched bytes appear where they are no character: CJK whose low
  // or high byte is '-' (U+4E2D, U+2D4E), surrogates, U+xx00, Latin-1, ASCII.
  const uint16_t units[] = {0x4E2D, 0x2D4E, 0x2B2B, 0xD83D, 0xDE00, 0x4E00, 0x2D00, 0x00E9,
                            0x002D, 0x0041, 0x0061, 0x003D, 0x0020, 0x7A7A, 0x0100};
  std::string decoded;
  int kept = 0;
  for (const std::string& set : sets) {
    bool ascii[128] = {};
    for (unsigned char c : set) ascii[c] = true;
    const jet::AsciiSearch search(ascii);
    for (int round = 0; round < 20000; ++round) {
      std::vector<uint8_t> v;
      const int len = static_cast<int>(rng() % 40);
      if (rng() % 2) {  // two-byte Unicode, now and then an odd byte at the end
        for (int i = 0; i < len; ++i) {
          const uint16_t u = units[rng() % std::size(units)];
          v.push_back(static_cast<uint8_t>(u));
          v.push_back(static_cast<uint8_t>(u >> 8));
        }
        if (rng() % 8 == 0) v.push_back(static_cast<uint8_t>(rng()));
      } else {  // compressed, with two-byte runs between 0x00 switches
        v = {0xFF, 0xFE};
        bool wide = false;
        for (int i = 0; i < len; ++i) {
          if (rng() % 6 == 0) {
            v.push_back(0);
            wide = !wide;
          } else if (wide) {
            const uint16_t u = units[rng() % std::size(units)];
            v.push_back(static_cast<uint8_t>(u));
            v.push_back(static_cast<uint8_t>(u >> 8));
          } else {
            v.push_back(static_cast<uint8_t>(rng() % 2 ? units[rng() % std::size(units)] : rng() % 255 + 1));
          }
        }
      }
      jet::format::TextCodec::decodeJet4(v.data(), v.size(), decoded);
      bool expected = false;
      for (unsigned char c : decoded) expected = expected || (c < 128 && ascii[c]);
      kept += expected;
      const uint32_t n = static_cast<uint32_t>(v.size());
      ASSERT_EQ(search.jet4(v.data(), n), expected) << "set " << set << ", round " << round << ", decoded " << decoded;
      // Searched sixteen bytes at a time past its end, the bytes there are no part of it.
      for (int k = 0; k < 16; ++k) v.push_back(k % 2 ? 0 : static_cast<uint8_t>(set[k % set.size()]));
      ASSERT_EQ(search.jet4(v.data(), n, true), expected) << "padded, set " << set << ", round " << round;
    }
  }
  EXPECT_GT(kept, 1000);  // both answers were tried
}

// A walk over worker threads, a page per piece of work, against the plain walk tested row
// by row: the same rows, the same order, over every table of the fixtures and the corpus.
// Every third walk the system refuses the second worker: the first stops again and the
// calling thread walks alone.
TEST(PageSweep, ThreadedWalkKeepsThePlainWalksRowsInItsOrder) {
  std::vector<std::filesystem::path> files = testfiles::corpusFiles();
  for (const char* f : {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb", "rawdates2000.mdb"})
    files.push_back(testfiles::data(f));
  int walked = 0, threaded = 0, refused = 0;
  for (const auto& file : files) {
    std::unique_ptr<jet::JetDatabase> db;
    try {
      db = openFile(file.string());
    } catch (const jet::Error&) {
      continue;
    }
    for (const auto& t : db->tables()) {
      if (t.linked || t.tdefPage == 0) continue;
      const auto& def = db->definition(t);
      for (const auto& c : t.columns) {
        jet::RowFilter f;
        f.column = c.position;
        if (c.daoType == jet::daotype::kDate) {
          f.kind = jet::RowFilter::Kind::DateIn;
          f.lo = 0;
          f.hi = 2;
        } else if (c.daoType == jet::daotype::kText) {
          f.kind = jet::RowFilter::Kind::TextHasAscii;
          for (unsigned char ch : std::string("-:a")) f.ascii[ch] = true;
        } else {
          continue;
        }
        const jet::RowTest test(f, def, db->pager().version(), db->asciiAsItself());
        if (test.kind() == jet::RowTest::Kind::KeepAll) continue;
        std::vector<jet::RowId> plain, swept;
        std::string plainFailure, sweptFailure;
        jet::format::RowView view(db->pager().version());
        try {
          jet::TableScan scan(db->pager(), def);
          while (scan.next())
            if (!view.tryReset(scan.row(), scan.rowLength()) || test.keep(view)) plain.push_back(scan.rowId());
        } catch (const std::exception& e) {
          plainFailure = e.what();
        }
        try {
          jet::TableScan scan(db->pager(), def);
          const bool refuse = walked % 3 == 2;
          scan.startSweep(test, {.threads = 3, .chunkPages = 1, .minPages = 1, .refusedWorker = refuse ? 2 : 0});
          threaded += scan.sweepThreads() > 1;
          refused += refuse;
          if (refuse) EXPECT_LE(scan.sweepThreads(), 1);
          // Rows it could not judge on their page (overflow rows) are judged here.
          while (scan.nextKept())
            if (!view.tryReset(scan.row(), scan.rowLength()) || test.keep(view)) swept.push_back(scan.rowId());
        } catch (const std::exception& e) {
          sweptFailure = e.what();
        }
        EXPECT_EQ(sweptFailure, plainFailure) << file << " " << t.name << "." << c.name;
        EXPECT_TRUE(swept == plain) << file << " " << t.name << "." << c.name << " " << swept.size() << " vs " << plain.size();
        ++walked;
      }
    }
  }
  EXPECT_GT(walked, 20);
  EXPECT_GT(threaded, 5);
  EXPECT_GT(refused, 5);
}

}  // namespace
