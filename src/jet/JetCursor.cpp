// The database's cursors: a forward walk of a table's rows, and one value read by its row.
#include "jet/JetDatabase.h"

#include <cstring>
#include <optional>
#include <stdexcept>

#include "jet/Error.h"
#include "jet/RowDecoder.h"
#include "jet/TableScan.h"

namespace jet {

using namespace format;

namespace {

// A forward scan handing out values of the current row on demand. The check's count
// queries call date() or text() once per row, so those two have paths that go straight
// from the column's descriptor to its bytes; everything else goes through RowDecoder.
class Cursor final : public TableCursor {
 public:
  Cursor(JetDatabase& db, const TableInfo& info, const TableDef& def,
         std::shared_ptr<const bool> open)
      : db_(db), name_(info.name), def_(def), scan_(db.pager(), def),
        dec_(db.pager(), db.codec()), open_(std::move(open)), openFlag_(open_.get()),
        jet4_(!db.pager().version().jet3()) {
    for (const ColumnDef& c : def.columns) {
      Fast f;
      f.number = c.number;
      f.fixedOffset = c.fixedOffset;
      f.varIndex = c.varIndex;
      if (c.type == coltype::kDateTime && c.fixed() && !c.calculated() && c.length >= 8) {
        f.kind = Fast::kFixedDate;
      } else if (jet4_ && c.type == coltype::kText && !c.fixed() && !c.calculated()) {
        f.kind = Fast::kVarText4;
      }
      fast_.push_back(f);
    }
  }

  bool next() override {
    if (*openFlag_ && scan_.tryNext()) {
      if (dec_.view().tryReset(scan_.row(), scan_.rowLength())) {
        onRow_ = true;
        return true;
      }
      return rowTooShort();
    }
    return nextSlow();
  }

  bool nextWhere(const RowFilter& f) override {
    if (scan_.sweeping()) return nextKept(f);
    if (f.wholeWalk && !scan_.started() && *openFlag_) {
      RowTest test(f, def_, db_.pager().version(),
                   f.kind != RowFilter::Kind::DateIn && !jet4_ ? db_.asciiAsItself() : nullptr);
      if (test.kind() != RowTest::Kind::KeepAll) {
        try {
          scan_.startSweep(std::move(test), db_.scanTuning());
        } catch (const Corrupt& e) {
          damaged(e);
        }
        swept_ = f;
        return nextKept(f);
      }
    }
    const int col = f.column;
    if (f.kind == RowFilter::Kind::DateIn && static_cast<unsigned>(col) < fast_.size() &&
        fast_[col].kind == Fast::kFixedDate) {
      const Fast fd = fast_[col];
      while (next()) {
        const format::RowView& v = dec_.view();
        if (!v.present(fd.number)) continue;  // Null, as date() says
        const uint8_t* p = v.fixed(fd.fixedOffset, 8);
        if (p == nullptr) return true;  // too short: the full read reports it
        double d;
        std::memcpy(&d, p, 8);
        if ((f.loOpen ? d > f.lo : d >= f.lo) && (f.hiOpen ? d < f.hi : d <= f.hi)) return true;
      }
      return false;
    }
    if (f.kind == RowFilter::Kind::TextHasAscii && static_cast<unsigned>(col) < fast_.size() &&
        fast_[col].kind == Fast::kVarText4) {
      const Fast ft = fast_[col];
      // Built once per filter, not once per call: a call may return after one row.
      if (!search_ || std::memcmp(searchFor_, f.ascii, sizeof searchFor_) != 0) {
        search_.emplace(f.ascii);
        std::memcpy(searchFor_, f.ascii, sizeof searchFor_);
      }
      const AsciiSearch& search = *search_;
      while (next()) {
        format::RowView& v = dec_.view();
        if (!v.present(ft.number)) continue;  // Null, as text() says
        const uint8_t* p;
        uint32_t n;
        try {
          if (!v.variable(ft.varIndex, &p, &n)) continue;
        } catch (const Corrupt&) {
          return true;  // damaged offsets: the full read reports them
        }
        if (search.jet4(p, n)) return true;
      }
      return false;
    }
    return next();
  }

  // Threads the filtered walk uses (0 before one began): for tests.
  int sweepThreads() const { return scan_.sweepThreads(); }

  RowId rowId() const override {
    if (!onRow_) throw noCurrentRecord();
    return scan_.rowId();
  }

  Value value(int column) override {
    const ColumnDef& c = columnAt(column);
    try {
      return dec_.value(c);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

  bool date(int column, double& stored) override {
    if (ready(column) && fast_[column].kind == Fast::kFixedDate) {
      const Fast& f = fast_[column];
      const format::RowView& v = dec_.view();
      if (!v.present(f.number)) return false;
      if (const uint8_t* p = v.fixed(f.fixedOffset, 8)) {
        std::memcpy(&stored, p, 8);
        return true;
      }
    }
    return dateSlow(column, stored);
  }

 private:
  [[gnu::noinline]] bool nextSlow() {
    if (!*openFlag_) throw invalidObject();
    try {
      if (!scan_.next()) {
        onRow_ = false;
        done_ = true;
        return false;
      }
      dec_.reset(scan_.row(), scan_.rowLength());
      onRow_ = true;
      return true;
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

  [[gnu::noinline]] bool nextKept(const RowFilter& f) {
    if (!*openFlag_) throw invalidObject();
    if (!sameFilter(f, swept_)) throw std::logic_error("TableCursor::nextWhere(): the filter changed during a whole walk");
    try {
      if (!scan_.nextKept()) {
        onRow_ = false;
        done_ = true;
        return false;
      }
    } catch (const Corrupt& e) {
      damaged(e);
    }
    if (dec_.view().tryReset(scan_.row(), scan_.rowLength())) {
      onRow_ = true;
      return true;
    }
    return rowTooShort();
  }

  static bool sameFilter(const RowFilter& a, const RowFilter& b) {
    return a.kind == b.kind && a.column == b.column && a.lo == b.lo && a.hi == b.hi && a.loOpen == b.loOpen &&
           a.hiOpen == b.hiOpen && std::memcmp(a.ascii, b.ascii, sizeof a.ascii) == 0 &&
           std::equal(a.any.begin(), a.any.end(), b.any.begin(), b.any.end(), sameFilter);
  }

  [[gnu::noinline]] bool rowTooShort() {
    try {
      dec_.reset(scan_.row(), scan_.rowLength());
    } catch (const Corrupt& e) {
      damaged(e);
    }
    onRow_ = true;
    return true;
  }

  [[gnu::noinline]] bool dateSlow(int column, double& stored) {
    const ColumnDef& c = columnAt(column);
    try {
      return dec_.date(c, stored);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

 public:
  bool text(int column, std::string& utf8) override {
    const ColumnDef& c = columnAt(column);
    try {
      if (fast_[column].kind == Fast::kVarText4) {
        format::RowView& v = dec_.view();
        const uint8_t* p;
        uint32_t n;
        if (!v.present(c.number) || !v.variable(c.varIndex, &p, &n)) return false;
        TextCodec::decodeJet4(p, n, utf8);
        return true;
      }
      return dec_.text(c, utf8);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

 private:
  struct Fast {
    enum Kind : uint8_t { kOther, kFixedDate, kVarText4 };
    Kind kind = kOther;
    uint16_t number = 0, fixedOffset = 0, varIndex = 0;
  };

  bool ready(int column) const {
    return static_cast<unsigned>(column) < fast_.size() && onRow_ && *openFlag_;
  }
  const ColumnDef& columnAt(int column) const {
    if (!*openFlag_) throw invalidObject();
    if (!onRow_) throw noCurrentRecord();
    if (column < 0 || static_cast<size_t>(column) >= def_.columns.size()) throw invalidObject();
    return def_.columns[column];
  }
  [[noreturn]] void damaged(const Corrupt& e) const {
    if (onRow_ || !done_) {
      const RowId id = scan_.rowId();
      if (id.page != 0) {
        db_.raiseDamaged(name_, Corrupt(std::string(e.what()) + "（读取第 " + std::to_string(id.page) +
                                        " 页第 " + std::to_string(id.row) + " 行时）"));
      }
    }
    db_.raiseDamaged(name_, e);
  }

  JetDatabase& db_;
  std::string name_;
  const TableDef& def_;
  TableScan scan_;
  RowDecoder dec_;
  std::shared_ptr<const bool> open_;
  const bool* openFlag_;
  bool jet4_;
  std::vector<Fast> fast_;
  std::optional<AsciiSearch> search_;  // of the last text filter
  RowFilter swept_;                     // the filter of the walk read ahead
  bool searchFor_[128] = {};
  bool onRow_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<TableCursor> JetDatabase::scan(const TableInfo& table) {
  const TableDef& def = definition(table);
  try {
    return std::make_unique<Cursor>(*this, table, def, open_);
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  }
}

Value JetDatabase::read(const TableInfo& table, RowId row, int column) {
  const TableDef& def = definition(table);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  try {
    PageRef holder;
    const uint8_t* p;
    uint32_t n;
    if (!locateRow(*pager_, def, row, &holder, &p, &n)) throw noCurrentRecord();
    RowDecoder dec(*pager_, *codec_);
    dec.reset(p, n);
    return dec.value(def.columns[column]);
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  }
}

}  // namespace jet
