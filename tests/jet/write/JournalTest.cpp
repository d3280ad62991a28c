// The pager's transactions and the journal under crashes at every disk-changing call, on
// files opened the engine's one way (Recovery.h) without a Jet header of their own.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/Pager.h"
#include "jet/Recovery.h"
#include "jet/journal/Journal.h"
#include "jet/os/FaultEnv.h"

using jet::os::FaultEnv;

namespace {

constexpr uint32_t kPs = 2048;
const jet::format::Version kJet3{jet::FileFormat::Jet3, 0};

// The file locked, an interrupted write rolled back (writable) or read around (read-only),
// and its pager, writing when writable.
struct Opened {
  std::unique_ptr<jet::os::File> file;
  std::unique_ptr<jet::Pager> pager;
  jet::Pager* operator->() const { return pager.get(); }
  void reset() {  // the pager first: it ends its writing on the file
    pager.reset();
    file.reset();
  }
};

Opened openPages(jet::os::Env& env, const std::string& path, bool writable) {
  Opened o;
  o.file = jet::openLocked(env, path, writable);
  auto rolledBack = jet::recoverInterruptedWrite(env, path, *o.file, writable);
  o.pager = std::make_unique<jet::Pager>(*o.file, kJet3);
  if (rolledBack) o.pager->setRolledBack(std::move(*rolledBack));
  if (writable) o.pager->beginWriting(env, path, true);
  return o;
}

// Every page as the pager shows it.
std::vector<uint8_t> pagesOf(jet::Pager& pager) {
  std::vector<uint8_t> all;
  for (uint32_t n = 0; n < pager.pageCount(); ++n) {
    const uint8_t* p = pager.get(n).data();
    all.insert(all.end(), p, p + kPs);
  }
  return all;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> pattern(uint32_t pages, uint8_t seed) {
  std::vector<uint8_t> b(size_t(pages) * kPs);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(seed + i / kPs * 7 + i % 251);
  b[0x14] = 0;  // a Jet3-sized page, for what it matters here
  return b;
}

// One transaction over a 6-page file: changes pages 1, 3 and 5, appends two pages.
// Closing removes the cleared journal: calls after *committedAt belong to the close.
void runTransaction(jet::os::Env& env, const std::string& path, int variant,
                    uint64_t* committedAt = nullptr) {
  Opened pf = openPages(env, path, true);
  for (uint32_t n : {1u, 3u, 5u}) std::memset(pf->modify(n) + 100, 0x40 + variant + n, 900);
  uint32_t a = pf->append();
  std::memset(pf->modify(a), 0x11 * variant, kPs);
  uint32_t b = pf->append();
  pf->modify(b)[7] = 9;
  pf->commit();
  if (committedAt) *committedAt = static_cast<FaultEnv&>(env).events();
}

bool hot(const std::string& path) {
  auto db = jet::os::Env::system().open(path, jet::os::Env::Access::Read);
  return jet::journal::isHot(jet::os::Env::system(), path, *db);
}

}  // namespace

TEST(PagerTransaction, TransactionsSeeTheirOwnChangesAndRollBackWithoutIo) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  writeFile(path, pattern(6, 1));
  Opened pf = openPages(jet::os::Env::system(), path, true);

  pf->modify(2)[10] = 0xEE;
  pf->beginSavepoint();
  pf->modify(2)[11] = 0xEF;
  pf->modify(4)[0] = 0x05;
  uint32_t fresh = pf->append();
  EXPECT_EQ(fresh, 6u);
  pf->rollbackToSavepoint();
  EXPECT_EQ(pf->pageCount(), 6u);
  EXPECT_EQ(pf->get(4).data()[0], pattern(6, 1)[4 * kPs]);
  EXPECT_EQ(pf->get(2).data()[10], 0xEE);                          // before the savepoint: kept
  EXPECT_EQ(pf->get(2).data()[11], pattern(6, 1)[2 * kPs + 11]);  // after it: undone
  EXPECT_EQ(testfiles::fileBytes(path), pattern(6, 1));             // nothing written yet

  pf->commit();
  auto after = pattern(6, 1);
  after[2 * kPs + 10] = 0xEE;
  EXPECT_EQ(testfiles::fileBytes(path), after);
  EXPECT_FALSE(hot(path));

  pf->modify(0)[0] = 1;
  pf->rollback();
  pf.reset();
  EXPECT_EQ(testfiles::fileBytes(path), after);
  EXPECT_FALSE(std::filesystem::exists(jet::journal::journalPath(path)));
}

TEST(PagerTransaction, ExclusiveOpenLocksOutOthersAndReadOnlyCannotWrite) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  writeFile(path, pattern(3, 2));
  auto& env = jet::os::Env::system();
  Opened writer = openPages(env, path, true);
  try {
    openPages(env, path, false);
    FAIL() << "a second open succeeded";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3045);
  }
  writer.reset();
  Opened reader = openPages(env, path, false);
  try {
    reader->modify(1);
    FAIL() << "a read-only file was changed";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3027);
  }
}

// Crash after every disk-changing call of a commit, with and without losing unsynced data:
// the reopened file is byte for byte the old or the new state, and a read-only open of a
// file with a hot journal reads the old state without writing.
TEST(PagerTransaction, CrashAtEveryWriteAndSyncLeavesOldOrNewState) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  const auto before = pattern(6, 3);

  // The reference run: how many calls a commit makes, and the state after it.
  writeFile(path, before);
  FaultEnv counter;
  uint64_t commitCalls = 0;
  runTransaction(counter, path, 1, &commitCalls);
  const auto after = testfiles::fileBytes(path);
  const uint64_t calls = counter.events();
  // Journal create, write, sync, directory sync; 5 pages; sync (the commit point); clear;
  // then the close removes the journal.
  ASSERT_EQ(commitCalls, 11u);
  ASSERT_EQ(calls, 12u);
  const uint64_t commitPoint = 10;

  int sawOld = 0, sawNew = 0, readAround = 0;
  for (auto loss : {FaultEnv::Loss::None, FaultEnv::Loss::Unsynced}) {
    for (uint64_t k = 1; k <= calls; ++k) {
      writeFile(path, before);
      std::filesystem::remove(jet::journal::journalPath(path));
      FaultEnv env;
      env.crashAt(k);
      if (k <= commitCalls) {
        EXPECT_THROW(runTransaction(env, path, 1), jet::os::SimulatedCrash) << k;
      } else {
        runTransaction(env, path, 1);  // a crash while closing is swallowed by the close
      }
      env.settle(loss);
      if (hot(path)) {
        const auto asLeft = testfiles::fileBytes(path);
        {
          Opened reader = openPages(jet::os::Env::system(), path, false);
          EXPECT_EQ(pagesOf(*reader.pager), before) << k;
        }
        EXPECT_EQ(testfiles::fileBytes(path), asLeft);
        EXPECT_TRUE(hot(path));
        ++readAround;
      }
      openPages(jet::os::Env::system(), path, true);
      auto now = testfiles::fileBytes(path);
      EXPECT_TRUE(now == before || now == after) << "crash at call " << k;
      if (loss == FaultEnv::Loss::Unsynced) {
        EXPECT_EQ(now, k < commitPoint ? before : after) << k;
      }
      sawOld += now == before;
      sawNew += now == after;
      EXPECT_FALSE(std::filesystem::exists(jet::journal::journalPath(path)));
    }
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
  EXPECT_GT(readAround, 0);
}

// A crash while a rollback is running leaves the journal hot; the next open finishes it.
TEST(PagerTransaction, CrashDuringRecoveryIsRecoveredAgain) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  const auto before = pattern(6, 4);
  for (uint64_t r = 1; r <= 6; ++r) {
    writeFile(path, before);
    {
      FaultEnv env;
      env.crashAt(8);  // some database pages written, not yet synced
      EXPECT_THROW(runTransaction(env, path, 2), jet::os::SimulatedCrash);
      env.settle(FaultEnv::Loss::None);
    }
    ASSERT_TRUE(hot(path));
    {
      FaultEnv env;
      env.crashAt(r);
      try {
        openPages(env, path, true);
      } catch (const jet::os::SimulatedCrash&) {
      }
      env.settle(FaultEnv::Loss::Unsynced);
    }
    openPages(jet::os::Env::system(), path, true);
    EXPECT_EQ(testfiles::fileBytes(path), before) << r;
  }
}

// Handles: one taken before a change keeps the bytes it was given, a new one sees the
// change, a rollback gives the old bytes back, and a handle may outlive the pager.
TEST(PagerTransaction, AHandleKeepsItsBytesWhileItsPageChanges) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  const auto original = pattern(6, 3);
  writeFile(path, original);
  Opened pf = openPages(jet::os::Env::system(), path, true);
  jet::Pager& pager = *pf.pager;

  const jet::PageRef before = pager.get(2);
  const uint8_t was = before.data()[5];
  pf->modify(2)[5] = uint8_t(was + 1);
  EXPECT_EQ(before.data()[5], was);
  EXPECT_EQ(pager.get(2).data()[5], uint8_t(was + 1));
  {
    // A page already changed changes under its handle: it is the transaction's own.
    const jet::PageRef dirty = pager.get(2);
    pf->modify(2)[6] = 0x5A;
    EXPECT_EQ(dirty.data()[6], 0x5A);
  }
  pf->rollback();
  EXPECT_EQ(pager.get(2).data()[5], was);
  EXPECT_EQ(pager.get(2).data()[6], original[2 * kPs + 6]);

  jet::PageRef outlives = pager.get(4);
  EXPECT_EQ(outlives.data()[9], original[4 * kPs + 9]);
  pf.reset();
  outlives.reset();  // frees the frame its pager left behind
  EXPECT_EQ(testfiles::fileBytes(path), original);
}

// A transaction larger than its spill bound writes pages before the commit; it still sees
// its own changes, a savepoint still undoes alone, a rollback puts back every original
// (appended pages go), and a commit ends exactly where one without spilling would. The
// pager keeps no more buffers than its bounds while it does.
TEST(PagerTransaction, ATransactionThatSpillsRollsBackAndCommitsWhole) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  const auto original = pattern(40, 5);
  auto change = [](jet::Pager& pf) {
    for (uint32_t n = 1; n < 30; n += 2) {
      pf.beginSavepoint();
      std::memset(pf.modify(n) + 64, int(n), 512);
      pf.releaseSavepoint();
    }
    pf.beginSavepoint();
    const uint32_t added = pf.append();
    std::memset(pf.modify(added), 0x77, kPs);
    pf.releaseSavepoint();
  };
  auto expected = original;
  for (uint32_t n = 1; n < 30; n += 2) std::memset(expected.data() + n * kPs + 64, int(n), 512);
  expected.resize(expected.size() + kPs, 0x77);

  writeFile(path, original);
  Opened pf = openPages(jet::os::Env::system(), path, true);
  pf->setCacheBound(3);
  pf->setSpillBound(3);
  for (int round = 0; round < 2; ++round) {
    change(*pf.pager);
    EXPECT_GT(pf->writeStats().spills, 0u);
    EXPECT_LE(pf->cacheStats().frames, 8u);
    EXPECT_NE(testfiles::fileBytes(path), original);  // pages reached the file
    EXPECT_TRUE(hot(path));            // and the journal can take them back
    for (uint32_t n = 1; n < 30; n += 2) {
      const uint8_t* page = pf->get(n).data();
      EXPECT_TRUE(std::equal(page, page + kPs, expected.begin() + n * kPs)) << n;
    }
    // A run read sees the same: spilled pages from the file, the others from memory.
    std::vector<uint8_t> run(size_t(pf->pageCount() - 1) * kPs);
    pf->readRun(1, pf->pageCount() - 1, run.data());
    EXPECT_TRUE(std::equal(run.begin(), run.end(), expected.begin() + kPs));
    // A spilled page changed under a savepoint comes back to the transaction's bytes.
    pf->beginSavepoint();
    pf->modify(1)[64] = 0xFF;
    pf->rollbackToSavepoint();
    EXPECT_EQ(pf->get(1).data()[64], 1);
    if (round == 0) {
      pf->rollback();
      EXPECT_EQ(testfiles::fileBytes(path), original);
      EXPECT_FALSE(hot(path));
      EXPECT_EQ(pf->pageCount(), 40u);
      EXPECT_EQ(pf->get(1).data()[64], original[kPs + 64]);
    } else {
      pf->commit();
      EXPECT_EQ(testfiles::fileBytes(path), expected);
      EXPECT_FALSE(hot(path));
    }
  }
  EXPECT_LE(pf->cacheStats().frames, 3u);
  pf.reset();
  EXPECT_EQ(testfiles::fileBytes(path), expected);
  EXPECT_FALSE(std::filesystem::exists(jet::journal::journalPath(path)));
}

// A crash at every disk change of a transaction that spills (with and without losing what
// was not synced) leaves the old file or the new one.
TEST(PagerTransaction, CrashWhileSpillingLeavesOldOrNewState) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "a.mdb").string();
  const auto original = pattern(20, 9);
  auto run = [&](jet::os::Env& env) {
    Opened pf = openPages(env, path, true);
    pf->setSpillBound(2);
    for (uint32_t n : {2u, 4u, 6u, 8u, 2u, 10u, 12u, 4u}) {
      pf->beginSavepoint();
      pf->modify(n)[n] = uint8_t(0xA0 + n);
      pf->releaseSavepoint();
    }
    pf->commit();
  };
  writeFile(path, original);
  uint64_t total;
  {
    FaultEnv env;
    run(env);
    total = env.events();
  }
  const auto after = testfiles::fileBytes(path);
  ASSERT_NE(after, original);
  for (auto loss : {FaultEnv::Loss::None, FaultEnv::Loss::Unsynced})
    for (uint64_t k = 1; k <= total; ++k) {
      writeFile(path, original);
      {
        FaultEnv env;
        env.crashAt(k);
        try {
          run(env);
        } catch (const jet::os::SimulatedCrash&) {
        } catch (const jet::Error&) {
        }
        env.settle(loss);
      }
      openPages(jet::os::Env::system(), path, true);
      const auto now = testfiles::fileBytes(path);
      EXPECT_TRUE(now == original || now == after) << "crash at disk change " << k;
    }
}
