// What the operating system can do to a repair besides a crash: another program's lock,
// failing reads, writes and syncs, a full disk, read-only permission bits, a journal that
// cannot be removed or that was deleted by hand, a file cut short. Each must reach the
// user as a jet::Error in Chinese, with the file at its last commit.
#ifdef _WIN32
#include <windows.h>

#include "jet/os/Unicode.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/os/FaultEnv.h"

namespace fs = std::filesystem;
using jet::Value;
using jet::os::FaultEnv;
using Mode = jet::Database::Mode;

namespace {

std::unique_ptr<jet::JetDatabase> openDb(jet::os::Env& env, const std::string& path,
                                         Mode mode = Mode::Exclusive) {
  return jet::JetDatabase::open(env, path, mode);
}

std::string longText() {
  std::string s;
  for (int i = 0; i < 200; ++i) s += "长";
  return s;
}

// The change every test makes: a text that needs a new page for its row.
void change(jet::JetDatabase& db) {
  const jet::TableInfo& t = *db.findTable("Wide");
  db.update(t, writecheck::rowAt(db, "Wide", 6), t.findColumn("W1")->position,
            Value(longText()));
}

bool chinese(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// The number of a jet::Error work throws; 0 when it throws none. Anything else fails.
// late: whether it came after the commit point (the change is in the file).
int errorOf(const std::function<void()>& work, std::string* text = nullptr, bool* late = nullptr) {
  try {
    work();
  } catch (const jet::Error& e) {
    EXPECT_TRUE(chinese(e.description())) << e.description();
    if (text) *text = e.description();
    if (late) *late = dynamic_cast<const jet::AfterCommit*>(&e) != nullptr;
    return e.number();
  }
  return 0;
}

// A hot journal beside path: a crash in the middle of writing the changed pages.
void leaveHotJournal(const std::string& path) {
  FaultEnv env;
  auto db = openDb(env, path);
  env.crashAt(6);  // journal created, written, synced; some pages of the file written
  try {
    change(*db);
    db->close();
  } catch (const jet::os::SimulatedCrash&) {
  }
  db.reset();
  env.settle(FaultEnv::Loss::None);
}

struct Scratch {
  testfiles::ScratchDir dir;
  std::string path = dir.copy(testfiles::data("checks2000.mdb")).string();
  std::vector<uint8_t> original = writecheck::bytesOf(path);
  std::string journal = path + "-journal";
};

// A program holding the file with flock(2), shared or exclusive, keeps a repair out, and
// our own hold keeps its flock out.
TEST(OsFaults, FlockHoldersAndOursExcludeEachOther) {
#ifdef _WIN32
  SKIP_POSIX_ONLY("flock(2)");
#else
  Scratch s;
  for (int kind : {LOCK_SH, LOCK_EX}) {
    const int fd = ::open(s.path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, kind | LOCK_NB), 0);
    EXPECT_EQ(errorOf([&] { openDb(jet::os::Env::system(), s.path); }), 3045);
    EXPECT_EQ(errorOf([&] { openDb(jet::os::Env::system(), s.path, Mode::ReadOnly); }),
              kind == LOCK_EX ? 3045 : 0);
    ::close(fd);
  }
  auto db = openDb(jet::os::Env::system(), s.path);
  const int fd = ::open(s.path.c_str(), O_RDONLY);
  EXPECT_NE(::flock(fd, LOCK_SH | LOCK_NB), 0);
  db->close();
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
#endif
}

#ifdef _WIN32
// A program holding the file open for writing, as Access holds a database it shares,
// keeps a repair out (a read-only open reads it); while we hold the file no program can
// open it for writing, and readers still can.
TEST(OsFaults, WritersOfOtherProgramsAndOursExcludeEachOther) {
  Scratch s;
  const std::wstring path = jet::os::widen(s.path);
  auto openShared = [&](DWORD rights) {
    return CreateFileW(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  HANDLE other = openShared(GENERIC_READ | GENERIC_WRITE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  std::string text;
  EXPECT_EQ(errorOf([&] { openDb(jet::os::Env::system(), s.path); }, &text), 3045);
  EXPECT_TRUE(contains(text, s.path)) << text;
  EXPECT_EQ(errorOf([&] { openDb(jet::os::Env::system(), s.path, Mode::ReadOnly); }), 0);
  CloseHandle(other);

  auto db = openDb(jet::os::Env::system(), s.path);
  EXPECT_EQ(openShared(GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  HANDLE reader = openShared(GENERIC_READ);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);
  db->close();
  other = openShared(GENERIC_READ | GENERIC_WRITE);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
}
#endif

// The I/O-error matrix: an error at every read, write and sync of `work` (once, or for good
// as a full disk stays full), the lock file's and the folder's among them. Before the
// commit point the work fails with 3026 or 3043 in Chinese and the file is as it was;
// after it the error says the change is in the file, which it is; or the work is carried
// out whole. Either way the next open finds the file clean. pairs: the error kinds to try
// at each call.
// bound, when given, is the pager's cache and spill bound: small, the work reads pages
// again and writes part of its transaction early.
using Work = std::function<void(jet::JetDatabase&)>;
void ioErrorMatrix(const fs::path& source, const Work& work,
                   const std::vector<std::pair<int, bool>>& pairs, size_t bound = 0) {
  auto openBounded = [bound](jet::os::Env& env, const std::string& path) {
    auto db = openDb(env, path);
    if (bound != 0) {
      db->pager().setCacheBound(2 * bound);  // room for the spill bound's changed pages and as many read
      db->pager().setSpillBound(bound);
    }
    return db;
  };
  SCOPED_TRACE(source.filename().string());
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(source).string(), journal = path + "-journal";
  const std::vector<uint8_t> original = writecheck::bytesOf(path);
  const auto allowed = writecheck::problems(path);
  {
    auto db = openBounded(jet::os::Env::system(), path);
    work(*db);
    if (bound != 0) {
      EXPECT_GT(db->writeStats().spills, 0u);
    }
  }
  const auto after = writecheck::bytesOf(path);
  ASSERT_NE(after, original);
  // Both commit points are sound, so a file equal to one of them byte for byte needs no
  // further verification below.
  EXPECT_EQ(writecheck::problems(path), allowed);

  for (auto kind : {FaultEnv::Call::Read, FaultEnv::Call::Write, FaultEnv::Call::Sync}) {
    // How many calls of this kind the work makes.
    testfiles::copyOver(source, path);
    uint64_t total;
    {
      FaultEnv env;
      auto db = openBounded(env, path);
      const uint64_t start = env.calls(kind);
      work(*db);
      total = env.calls(kind) - start;
    }
    if (kind == FaultEnv::Call::Read && total == 0) continue;  // every page in the cache already
    ASSERT_GT(total, 0u);
    for (const auto& [code, sticky] : pairs)
      for (uint64_t k = 1; k <= total; ++k) {
        SCOPED_TRACE(testing::Message() << "call kind " << int(kind) << " #" << k << " errno " << code
                                        << (sticky ? " for good" : " once"));
        testfiles::copyOver(source, path);
        FaultEnv env;
        auto db = openBounded(env, path);
        env.failAt(kind, k, code, sticky);
        std::string text;
        bool late = false;
        const int number = errorOf([&] { work(*db); }, &text, &late);
        if (number != 0) {
          EXPECT_TRUE(number == 3026 || number == 3043) << number;
        }
        if (late) {
          EXPECT_TRUE(contains(text, "修改已经写入数据库文件")) << text;
          EXPECT_EQ(writecheck::bytesOf(path), after);
        } else if (number != 0) {
          // Put back at once, unless the disk refuses that too: then the next open does.
          if (!contains(text, "下次打开时将被撤销")) {
            EXPECT_EQ(writecheck::bytesOf(path), original);
          }
          // What a change's failure says of the file (a read of the work's own may fail
          // before any change).
          if (kind != FaultEnv::Call::Read) {
            EXPECT_TRUE(contains(text, "没有改动") || contains(text, "修改前的内容") ||
                        contains(text, "下次打开时将被撤销"))
                << text;
          }
        } else {
          EXPECT_EQ(writecheck::bytesOf(path), after);
        }
        env.failAt(kind, 0, 0);
        try {
          db->close();
        } catch (const jet::Error&) {
        }
        db.reset();
        openDb(jet::os::Env::system(), path)->close();
        EXPECT_FALSE(fs::exists(journal));
        EXPECT_EQ(writecheck::bytesOf(path), number != 0 && !late ? original : after);
      }
  }
}

const std::vector<std::pair<int, bool>> kEveryError = {{EIO, false}, {EIO, true}, {ENOSPC, false}, {ENOSPC, true}};

}  // namespace

TEST(OsFaults, AnErrorAtEveryReadWriteAndSyncLeavesTheLastCommit) {
  ioErrorMatrix(testfiles::data("checks2000.mdb"), change, kEveryError);
}

// The same over a batch that splits index pages: 500 new rows of a table with two
// indexes (enough to split the leaves of both and grow each tree a level), in one commit.
TEST(OsFaults, AnErrorDuringAnIndexSplitLeavesTheLastCommit) {
  ioErrorMatrix(testfiles::data("template2000.mdb"), [](jet::JetDatabase& db) {
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 500; ++i)
      rows.push_back({Value(int32_t(i)), Value(jet::Date{40000.0 + i % 97}), Value(), Value(), Value(),
                      Value("第" + std::to_string(i * 7 % 400) + "行 ledger entry"), Value("x"),
                      Value(), Value()});
    db.insertMany(*db.findTable("LedgerIdx"), rows);
  }, {{EIO, false}, {ENOSPC, true}});
}

// And over a walk: a scoped batch rewriting a value in each of 30 rows spread over the
// table's pages, which lands whole or, when any call fails, not at all (the scope takes
// back what it began) — with a pager so small that the walk reads pages again and its
// transaction spills, part of it reaching the file before the commit.
TEST(OsFaults, AnErrorDuringABatchWalkLeavesTheLastCommit) {
  ioErrorMatrix(testfiles::data("checks2000.mdb"), [](jet::JetDatabase& db) {
    const jet::TableInfo& big = *db.findTable("Big");
    const int d = big.findColumn("D")->position;
    std::vector<jet::RowId> ids;
    auto cur = db.scan(big);
    for (int k = 0; cur->next() && ids.size() < 30; ++k)
      if (k % 100 == 0) ids.push_back(cur->rowId());
    jet::ScopedBatch batch(db);
    for (size_t i = 0; i < ids.size(); ++i) db.update(big, ids[i], d, Value(jet::Date{1.0 + double(i) / 1000}));
    batch.commit();
  }, {{EIO, false}, {ENOSPC, true}}, 4);
}

// A full disk while the journal is written: Jet's disk-full message naming the journal
// and saying the file is unchanged, not a damaged database.
TEST(OsFaults, DiskFullNamesTheJournalAndKeepsTheFile) {
  Scratch s;
  FaultEnv env;
  auto db = openDb(env, s.path);
  env.failAt(FaultEnv::Call::Write, 2, ENOSPC, true);  // after the lock file's marker
  std::string text;
  EXPECT_EQ(errorOf([&] { change(*db); }, &text), 3026);
  EXPECT_TRUE(contains(text, "磁盘空间不足")) << text;
  EXPECT_TRUE(contains(text, "日志文件 '" + s.journal + "'")) << text;
  EXPECT_TRUE(contains(text, "没有改动")) << text;
  EXPECT_FALSE(contains(text, "损坏")) << text;
  EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
}

// A lock file that cannot be written, and a folder that cannot be synced once the journal
// is created: the change is refused in Chinese, naming the file, with the database as it was.
TEST(OsFaults, ALockFileOrFolderThatFailsRefusesTheChange) {
  for (const char* what : {"锁定文件", "同步文件夹"}) {
    Scratch s;
    FaultEnv env;
    std::unique_ptr<jet::JetDatabase> db;
    if (std::string(what) == "锁定文件") {
      env.failAt(FaultEnv::Call::Write, 1, ENOSPC);  // the lock file's record, at the open
      db = openDb(env, s.path);
    } else {
      db = openDb(env, s.path);
      env.failAt(FaultEnv::Call::Sync, 2, EIO);  // the journal's, then its folder's
    }
    std::string text;
    EXPECT_NE(errorOf([&] { change(*db); }, &text), 0);
    EXPECT_TRUE(contains(text, what)) << text;
    EXPECT_TRUE(contains(text, "没有改动")) << text;
    db.reset();
    EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
    openDb(jet::os::Env::system(), s.path)->close();
    EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
  }
}

// Permission bits that deny writing are obeyed though root may write anything: the file
// opens and reads, and every change is refused with 3027 before anything is written.
TEST(OsFaults, ReadOnlyPermissionBitsRefuseRepairsEvenForRoot) {
  for (bool folder : {false, true}) {
#ifdef _WIN32
    if (folder) continue;  // a Windows folder's read-only attribute does not stop writing
#endif
    Scratch s;
    const fs::path target = folder ? s.dir.path() : fs::path(s.path);
    const auto mode = fs::status(target).permissions();
    fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string text;
    {
      auto db = openDb(jet::os::Env::system(), s.path);
      EXPECT_FALSE(writecheck::rowsOf(writecheck::dumpAll(s.path).at("Wide")).empty());
      EXPECT_EQ(errorOf([&] { change(*db); }, &text), 3027);
    }
    fs::permissions(target, mode);
    EXPECT_TRUE(contains(text, "数据库或对象为只读")) << text;
    EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
  }
}

// A journal that cannot be removed after its rollback: Chinese text saying what is wrong
// and what to do; the rollback stands, and a read-only open reads the file. A hot journal
// is read around by a read-only open, which leaves the file and the journal alone.
TEST(OsFaults, AJournalThatCannotBeRemovedIsExplained) {
  Scratch s;
  leaveHotJournal(s.path);
  const auto torn = writecheck::bytesOf(s.path);
  ASSERT_NE(torn, s.original);
  ASSERT_TRUE(fs::exists(s.journal));
  {
    auto reader = openDb(jet::os::Env::system(), s.path, Mode::ReadOnly);
    ASSERT_EQ(reader->notices().size(), 1u);
    EXPECT_TRUE(contains(reader->notices()[0], s.journal));
    EXPECT_EQ(errorOf([&] { change(*reader); }), 3027);
  }
  EXPECT_EQ(writecheck::bytesOf(s.path), torn);
  EXPECT_TRUE(fs::exists(s.journal));

  FaultEnv env;
  env.failAt(FaultEnv::Call::Remove, 1, EACCES, true);
  std::string text;
  EXPECT_EQ(errorOf([&] { openDb(env, s.path); }, &text), 3051);
  EXPECT_TRUE(contains(text, s.journal)) << text;
  EXPECT_TRUE(contains(text, "文件夹 '" + s.dir.path().string() + "' 写入权限")) << text;
  EXPECT_TRUE(contains(text, "已经撤销")) << text;
  EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
  EXPECT_TRUE(fs::exists(s.journal));
  auto reader = openDb(jet::os::Env::system(), s.path, Mode::ReadOnly);
  EXPECT_TRUE(reader->notices().empty());
}

// A crash leaves the marker in our lock-file record: with the journal beside the file the
// next open rolls back in silence; with the journal deleted by hand it warns, once.
TEST(OsFaults, AJournalDeletedByHandAfterACrashIsReported) {
  for (bool deleted : {false, true}) {
    Scratch s;
    leaveHotJournal(s.path);
    ASSERT_TRUE(fs::exists(s.dir.path() / "checks2000.ldb"));
    if (deleted) fs::remove(s.journal);
    {
      auto reader = openDb(jet::os::Env::system(), s.path, Mode::ReadOnly);
      EXPECT_EQ(reader->notices().size(), 1u);
    }
    {
      auto db = openDb(jet::os::Env::system(), s.path);
      ASSERT_EQ(db->notices().size(), deleted ? 1u : 0u);
      if (deleted) {
        EXPECT_TRUE(contains(db->notices()[0], "手工删除")) << db->notices()[0];
      }
    }
    EXPECT_TRUE(openDb(jet::os::Env::system(), s.path)->notices().empty());
    if (!deleted) {
      EXPECT_EQ(writecheck::bytesOf(s.path), s.original);
    }
  }
}

// A file cut at a page boundary: it opens and reads with a notice that it is incomplete,
// and every change is refused with the damage message.
TEST(OsFaults, AFileCutShortIsDamagedForRepairs) {
  Scratch s;
  {
    // Two rows outgrow their page; the second moves to a page appended at the end.
    auto db = openDb(jet::os::Env::system(), s.path);
    change(*db);
    const jet::TableInfo& t = *db->findTable("Wide");
    std::string wider;
    for (int i = 0; i < 250; ++i) wider += "宽";
    db->update(t, writecheck::rowAt(*db, "Wide", 7), t.findColumn("W1")->position, Value(wider));
    ASSERT_EQ(db->lastPlacement(), 3);
  }
  const auto whole = writecheck::bytesOf(s.path);
  fs::resize_file(s.path, whole.size() - 4096);
  const auto cut = writecheck::bytesOf(s.path);
  auto db = openDb(jet::os::Env::system(), s.path);
  ASSERT_EQ(db->notices().size(), 1u);
  EXPECT_TRUE(contains(db->notices()[0], "文件不完整")) << db->notices()[0];
  std::string text;
  EXPECT_EQ(errorOf([&] { change(*db); }, &text), 3049);
  EXPECT_TRUE(contains(text, "文件不完整")) << text;
  db->close();
  EXPECT_EQ(writecheck::bytesOf(s.path), cut);
  // A sound file says nothing.
  EXPECT_TRUE(openDb(jet::os::Env::system(), testfiles::data("checks2000.mdb").string(), Mode::ReadOnly)
                  ->notices()
                  .empty());
}
