// The row, the table definition's counters and the data page: one layout that the reader
// and the writer share, checked over every file we have and, for Jet 3 offsets past 255
// (which no sample file holds), over rows built across every jump boundary.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "TestFiles.h"
#include "jet/JetDatabase.h"
#include "jet/Pager.h"
#include "jet/format/DataPage.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

namespace {

using jet::format::buildRow;
using jet::format::Corrupt;
using jet::format::parseRow;
using jet::format::RowParts;
using jet::format::RowView;
using jet::format::Version;


// What the scan's view makes of a row: numCols, mask and every variable slot, or nothing
// when it refuses the row.
std::optional<RowParts> viewOf(const Version& v, bool hasVarTable, const uint8_t* row, uint32_t len) {
  RowView view(v);
  RowParts r;
  try {
    if (!view.tryReset(row, len)) return std::nullopt;
    r.numCols = view.numCols();
    r.mask.assign(view.nullMask(), view.nullMask() + view.nullMaskLength());
    if (hasVarTable) {
      const uint16_t n = view.varCount();
      for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* p;
        uint32_t size;
        if (!view.variable(i, &p, &size)) return std::nullopt;
        r.vars.emplace_back(p, p + size);
      }
    }
  } catch (const Corrupt&) {
    return std::nullopt;
  }
  return r;
}

struct Tally {
  int rows = 0, identical = 0, refused = 0, jet3 = 0;
};

// The decision where the writer's parse is stricter than the scan's view (it checks every
// offset against its neighbours, the view only the slots it reads): on every stored row
// the two agree, on what the row holds and on whether it is readable at all. And the
// writer's build puts an unchanged row back as Access stored it.
void checkRow(const Version& v, bool hasVarTable, const uint8_t* row, uint32_t len, Tally& t) {
  const std::optional<RowParts> view = viewOf(v, hasVarTable, row, len);
  std::optional<RowParts> parts;
  try {
    parts = parseRow(v.jet3(), hasVarTable, row, len);
  } catch (const Corrupt&) {
  }
  ASSERT_EQ(view.has_value(), parts.has_value());
  if (!parts) {
    ++t.refused;
    return;
  }
  ++t.rows;
  if (v.jet3()) ++t.jet3;
  EXPECT_EQ(parts->numCols, view->numCols);
  EXPECT_EQ(parts->mask, view->mask);
  EXPECT_EQ(parts->vars, view->vars);
  const auto again = buildRow(v.jet3(), *parts, len);
  ASSERT_TRUE(again.has_value()) << "an unchanged row no longer fits its own length";
  ASSERT_EQ(again->size(), len);
  if (std::equal(again->begin(), again->end(), row)) ++t.identical;
  const auto minimal = buildRow(v.jet3(), *parts);
  ASSERT_TRUE(minimal.has_value());
  EXPECT_LE(minimal->size(), len);
}

TEST(RowLayout, EveryRowOfEveryFileReadsAsTheWriterRebuildsIt) {
  Tally tally;
  int tables = 0;
  for (const auto& file : testfiles::everyFormatFile()) {
    SCOPED_TRACE(file.string());
    auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::ReadOnly);
    const Version v = db->pager().version();
    const std::vector<uint8_t> bytes = testfiles::fileBytes(file);
    std::map<uint32_t, const jet::format::TableDef*> byPage;
    for (const jet::TableInfo& t : db->tables()) {
      if (t.linked) continue;
      const jet::format::TableDef& d = db->definition(t);
      byPage[d.page] = &d;
      ++tables;
      // The counters the writer changes are where the reader finds them, and a change
      // touches nothing else.
      std::vector<uint8_t> first(bytes.begin() + std::ptrdiff_t(d.page) * v.pageSize(),
                                 bytes.begin() + std::ptrdiff_t(d.page + 1) * v.pageSize());
      EXPECT_EQ(jet::format::tableRowCount(first.data(), v), d.numRows) << t.name;
      EXPECT_EQ(jet::format::tableAutoNumber(first.data(), v), d.autoNumber) << t.name;
      const std::vector<uint8_t> before = first;
      jet::format::setTableRowCount(first.data(), v, d.numRows + 0x01020304);
      jet::format::setTableAutoNumber(first.data(), v, d.autoNumber ^ 0x80808080u);
      EXPECT_EQ(jet::format::tableRowCount(first.data(), v), d.numRows + 0x01020304);
      EXPECT_EQ(jet::format::tableAutoNumber(first.data(), v), d.autoNumber ^ 0x80808080u);
      int changed = 0;
      for (size_t i = 0; i < first.size(); ++i) changed += first[i] != before[i];
      EXPECT_LE(changed, 8);
      EXPECT_GE(changed, 5);
    }
    const uint32_t pages = uint32_t(bytes.size() / v.pageSize());
    for (uint32_t n = 1; n < pages; ++n) {
      const uint8_t* p = bytes.data() + size_t(n) * v.pageSize();
      if (p[0] != jet::format::kDataPageType) continue;
      auto owner = byPage.find(jet::format::le32(p + 4));
      if (owner == byPage.end()) continue;
      const bool hasVarTable = owner->second->numVarCols > 0;
      try {
        const jet::format::DataPage page(p, n, v);
        for (uint16_t i = 0; i < page.rowCount(); ++i) {
          if (page.slot(i) & (jet::format::kSlotDeleted | jet::format::kSlotOverflow)) continue;
          uint32_t start, end;
          page.rowBounds(i, start, end);
          SCOPED_TRACE("page " + std::to_string(n) + " row " + std::to_string(i));
          checkRow(v, hasVarTable, p + start, end - start, tally);
          if (testing::Test::HasFatalFailure()) return;
        }
      } catch (const Corrupt&) {
        // A page whose slot table is damaged holds no row either side reads.
      }
    }
  }
  std::cout << tables << " tables, " << tally.rows << " rows (" << tally.jet3 << " Jet 3), "
            << tally.identical << " rebuilt byte for byte, " << tally.refused << " refused\n";
  EXPECT_GT(tally.rows, 10000);
  EXPECT_GT(tally.jet3, 100);
  EXPECT_GE(tally.identical * 1000, tally.rows * 999);
}

// Jet 3 offsets are single bytes plus jump bytes: rows whose variable data crosses one,
// two or three 256-byte boundaries, at every length around them, read back slot for slot,
// also when padded to a length that needs more jump bytes than its own.
TEST(RowLayout, Jet3RowsAcrossJumpBoundariesReadBackSlotForSlot) {
  const Version v3{.format = jet::FileFormat::Jet3, .versionByte = 0};
  int built = 0, morejumps = 0;
  for (uint32_t total = 180; total <= 800; ++total) {
    RowParts parts;
    parts.numCols = 12;
    parts.mask.assign(2, 0xFF);
    parts.mask[1] = 0x0F;
    parts.fixed.assign(7, 0x11);
    // Four slots: an empty one, and three sharing `total` bytes unevenly.
    const uint32_t a = total / 5, b = total / 2, c = total - a - b;
    parts.vars = {std::vector<uint8_t>(a, 0xA1), {}, std::vector<uint8_t>(b, 0xB2),
                  std::vector<uint8_t>(c, 0xC3)};
    const auto row = buildRow(true, parts);
    ASSERT_TRUE(row.has_value()) << total;
    ++built;
    const auto view = viewOf(v3, true, row->data(), uint32_t(row->size()));
    ASSERT_TRUE(view.has_value()) << total;
    EXPECT_EQ(view->vars, parts.vars) << total;
    EXPECT_EQ(view->numCols, 12);
    // Shorter than its bytes it cannot be; any longer, its slack pays for the jump bytes.
    EXPECT_FALSE(buildRow(true, parts, uint32_t(row->size()) - 1).has_value()) << total;
    for (uint32_t extra : {1u, 2u, 3u, 40u, 300u}) {
      const uint32_t to = uint32_t(row->size()) + extra;
      const auto pad = buildRow(true, parts, to);
      ASSERT_TRUE(pad.has_value()) << total << "+" << extra;
      ASSERT_EQ(pad->size(), to);
      if ((to - 1) / 256 != (row->size() - 1) / 256) ++morejumps;
      const auto back = viewOf(v3, true, pad->data(), to);
      ASSERT_TRUE(back.has_value()) << total << "+" << extra;
      EXPECT_EQ(back->vars, parts.vars) << total << "+" << extra;
      EXPECT_EQ(back->mask, parts.mask);
    }
  }
  EXPECT_EQ(built, 621);
  EXPECT_GT(morejumps, 621);
}

// A row a layout cannot say is refused, not truncated.
TEST(RowLayout, PartsBeyondTheLayoutAreRefused) {
  RowParts many;
  many.numCols = 300;
  many.mask.assign(38, 0);
  EXPECT_THROW(buildRow(true, many), Corrupt);
  const auto jet4 = buildRow(false, many);
  ASSERT_TRUE(jet4.has_value());
  EXPECT_EQ(parseRow(false, true, jet4->data(), uint32_t(jet4->size())).numCols, 300);

  RowParts slots;
  slots.numCols = 1;
  slots.mask.assign(1, 1);
  slots.vars.resize(256);
  EXPECT_THROW(buildRow(true, slots), Corrupt);
  // Too short for its trailer, and offsets that run backwards.
  const uint8_t shortRow[] = {0x09};
  EXPECT_THROW(parseRow(false, true, shortRow, 1), Corrupt);
  const uint8_t backwards[] = {0x01, 0x00, 0xAA, 0xBB, 0x03, 0x00, 0x04, 0x00, 0x02, 0x00, 0x02, 0x00, 0x01};
  EXPECT_THROW(parseRow(false, true, backwards, sizeof backwards), Corrupt);
}

// ---- data pages ------------------------------------------------------------------------

using jet::format::DataPage;
using jet::format::DataPageEdit;
using jet::format::kSlotDeleted;
using jet::format::kSlotFlags;
using jet::format::kSlotOffsetMask;

struct PageRows {
  std::vector<uint16_t> flags;
  std::vector<std::vector<uint8_t>> bytes;
  uint32_t low;  // lowest row start
};

PageRows rowsOf(const DataPage& page, uint32_t ps) {
  PageRows r{{}, {}, ps};
  for (uint16_t i = 0; i < page.rowCount(); ++i) {
    uint32_t start, end;
    page.rowBounds(i, start, end);
    r.flags.push_back(page.slot(i) & kSlotFlags);
    r.bytes.emplace_back(page.bytes() + start, page.bytes() + end);
    r.low = std::min(r.low, start);
  }
  return r;
}

struct PageTally {
  int pages = 0, packed = 0, samePage = 0, appended = 0, emptyDeleted = 0, refused = 0;
};

// One data page of a file: rebuilt (its rows packed again against its end), every slot
// reads back the same bytes and flags, and the free space is the gap the rows leave; a
// page Access left packed comes back as it was. Then a row appended to the rebuilt page,
// and one slot grown to fill the page exactly, read back as written.
void checkDataPage(const Version& v, const uint8_t* original, uint32_t n, PageTally& t) {
  const uint32_t ps = v.pageSize();
  const uint32_t hs = uint32_t(jet::format::dataPageLayout(v).slotTable);
  PageRows before;
  try {
    before = rowsOf(DataPage(original, n, v), ps);
  } catch (const Corrupt&) {
    ++t.refused;  // a damaged slot table: neither side reads its rows
    return;
  }
  ++t.pages;
  const uint16_t rows = uint16_t(before.bytes.size());
  uint32_t used = 0;
  for (size_t i = 0; i < rows; ++i) {
    used += uint32_t(before.bytes[i].size());
    if (before.bytes[i].empty()) ++t.emptyDeleted;
  }
  const uint32_t head = hs + 2u * rows;

  std::vector<uint8_t> page(original, original + ps);
  ASSERT_TRUE(DataPage(page.data(), n, v).fitsRebuilt(0xFFFF, 0));
  DataPageEdit(page.data(), n, v).rebuild();
  const DataPage rebuilt(page.data(), n, v);
  const PageRows after = rowsOf(rebuilt, ps);
  ASSERT_EQ(after.flags, before.flags);
  ASSERT_EQ(after.bytes, before.bytes);
  EXPECT_EQ(rebuilt.freeSpace(), ps - head - used);
  EXPECT_EQ(rebuilt.freeSpace(), after.low - head);
  if (before.low + used == ps) {  // Access's rows lay packed in slot order
    ++t.packed;
    EXPECT_EQ(DataPage(original, n, v).freeSpace(), rebuilt.freeSpace());
    if (std::equal(page.begin() + before.low, page.end(), original + before.low)) ++t.samePage;
  }

  // Append: the new row sits below the lowest, with its flags; nothing else moves.
  const uint32_t room = rebuilt.freeSpace();
  const uint32_t length = std::min<uint32_t>(room >= 2 ? room - 2 : 0, 37);
  if (rows < 255 && length > 0) {
    EXPECT_TRUE(rebuilt.canAppend(length));
    EXPECT_FALSE(rebuilt.canAppend(room - 1));
    std::vector<uint8_t> fresh(length);
    for (uint32_t i = 0; i < length; ++i) fresh[i] = uint8_t(0xA5 ^ (i * 7) ^ n);
    std::vector<uint8_t> grown = page;
    EXPECT_EQ(DataPageEdit(grown.data(), n, v).append(fresh.data(), length, kSlotDeleted), rows);
    const DataPage withRow(grown.data(), n, v);
    PageRows more = rowsOf(withRow, ps);
    ASSERT_EQ(more.bytes.size(), rows + 1u);
    EXPECT_EQ(more.bytes.back(), fresh);
    EXPECT_EQ(more.flags.back(), kSlotDeleted);
    more.bytes.pop_back();
    more.flags.pop_back();
    EXPECT_EQ(more.bytes, before.bytes);
    EXPECT_EQ(more.flags, before.flags);
    EXPECT_EQ(withRow.freeSpace(), room - length - 2);
    ++t.appended;
  }

  // The first live row grown by exactly the free space fills the page; one byte more does not fit.
  for (uint16_t i = 0; i < rows; ++i) {
    if (before.flags[i] & kSlotDeleted) continue;
    const uint32_t full = uint32_t(before.bytes[i].size()) + room;
    EXPECT_TRUE(rebuilt.fitsRebuilt(i, full));
    EXPECT_FALSE(rebuilt.fitsRebuilt(i, full + 1));
    std::vector<uint8_t> big(full, uint8_t(0x5A));
    std::vector<uint8_t> filled = page;
    DataPageEdit(filled.data(), n, v).rebuild(i, big.data(), full);
    PageRows now = rowsOf(DataPage(filled.data(), n, v), ps);
    EXPECT_EQ(DataPage(filled.data(), n, v).freeSpace(), 0);
    EXPECT_EQ(now.bytes[i], big);
    now.bytes[i] = before.bytes[i];
    EXPECT_EQ(now.bytes, before.bytes);
    EXPECT_EQ(now.flags, before.flags);
    break;
  }
}

TEST(DataPageLayout, EveryDataPageOfEveryFileRebuildsAndTakesARow) {
  PageTally tally;
  int jet3 = 0;
  for (const auto& file : testfiles::everyFormatFile()) {
    SCOPED_TRACE(file.string());
    Version v;
    {
      auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::ReadOnly);
      v = db->pager().version();
    }
    const std::vector<uint8_t> bytes = testfiles::fileBytes(file);
    const uint32_t pages = uint32_t(bytes.size() / v.pageSize());
    for (uint32_t n = 1; n < pages; ++n) {
      const uint8_t* p = bytes.data() + size_t(n) * v.pageSize();
      if (p[0] != jet::format::kDataPageType) continue;
      SCOPED_TRACE("page " + std::to_string(n));
      const int before = tally.pages;
      checkDataPage(v, p, n, tally);
      if (testing::Test::HasFatalFailure()) return;
      if (v.jet3()) jet3 += tally.pages - before;
    }
  }
  std::cout << tally.pages << " data pages (" << jet3 << " Jet 3), " << tally.packed << " packed, "
            << tally.samePage << " rebuilt byte for byte, " << tally.appended << " took a row, "
            << tally.emptyDeleted << " empty deleted rows, " << tally.refused << " refused\n";
  EXPECT_GT(tally.pages, 1000);
  EXPECT_GT(jet3, 50);
  EXPECT_GT(tally.appended, 500);
  EXPECT_EQ(tally.samePage, tally.packed);
  EXPECT_EQ(tally.refused, 0);
  // Access leaves deleted slots without bytes; a rebuild must carry them.
  EXPECT_GT(tally.emptyDeleted, 0);
}

// The bounds rule on a page built here, in both layouts: a deleted slot may be empty, an
// overflow target may not, a slot past the count is no row; and a damaged slot table whose
// last row is not the lowest takes no appended row and is not rebuilt.
TEST(DataPageLayout, EmptyRowsOnlyWhenDeletedAndDamagedSlotsRefused) {
  for (const Version& v : {Version{.format = jet::FileFormat::Jet3, .versionByte = 0},
                           Version{.format = jet::FileFormat::Jet4, .versionByte = 1}}) {
    SCOPED_TRACE(v.jet3() ? "Jet 3" : "Jet 4");
    const uint32_t ps = v.pageSize(), hs = uint32_t(jet::format::dataPageLayout(v).slotTable);
    std::vector<uint8_t> page(ps, 0);
    DataPageEdit::init(page.data(), v, 77);
    DataPageEdit edit(page.data(), 9, v);
    const std::vector<uint8_t> a(10, 0xAA), b(20, 0xBB);
    EXPECT_EQ(edit.append(a.data(), 10, 0), 0);
    EXPECT_EQ(edit.append(a.data(), 0, kSlotFlags), 1);
    EXPECT_EQ(edit.append(b.data(), 20, 0), 2);
    EXPECT_EQ(DataPage(page.data(), 9, v).freeSpace(), ps - hs - 6 - 30);
    uint32_t s, e;
    DataPage(page.data(), 9, v).rowBounds(1, s, e);
    EXPECT_EQ(s, e);
    EXPECT_THROW(DataPage(page.data(), 9, v).rowBounds(3, s, e), Corrupt);
    edit.setFlags(1, kSlotDeleted);
    EXPECT_THROW(DataPage(page.data(), 9, v).rowBounds(1, s, e), Corrupt);
    edit.setFlags(1, kSlotFlags);

    std::vector<uint8_t> swapped = page;  // rows 0 and 2 trade offsets
    std::copy(page.begin() + hs + 4, page.begin() + hs + 6, swapped.begin() + hs);
    std::copy(page.begin() + hs, page.begin() + hs + 2, swapped.begin() + hs + 4);
    EXPECT_TRUE(DataPage(page.data(), 9, v).canAppend(4));
    EXPECT_FALSE(DataPage(swapped.data(), 9, v).canAppend(4));
    EXPECT_THROW(DataPageEdit(swapped.data(), 9, v).rebuild(), Corrupt);
  }
}

}  // namespace
