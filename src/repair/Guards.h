#pragma once
// What a repair holds while it works, ended however the repair ends: its recordset closed,
// an edit that failed dropped, a batch that did not commit taken back. Leaving by a
// failure says nothing of its own; the failure that made it leave is the one reported.
#include <memory>

#include "data/Dao.h"

namespace repair {

// Drops the recordset's pending edit, if any.
inline void dropEdit(dao::Recordset& rs) noexcept {
  try {
    rs.CancelUpdate();
  } catch (...) {
  }
}

// One edit of the recordset's current row: begun on construction, ended by update(), and
// dropped when it leaves without (a failure leaves the recordset with no edit pending).
class EditGuard {
 public:
  explicit EditGuard(dao::Recordset& rs) : rs_(rs) { rs_.Edit(); }
  EditGuard(const EditGuard&) = delete;
  EditGuard& operator=(const EditGuard&) = delete;
  ~EditGuard() {
    if (!done_) dropEdit(rs_);
  }
  void update() {
    rs_.Update(dao::dbUpdateRegular, false);
    done_ = true;
  }

 private:
  dao::Recordset& rs_;
  bool done_ = false;
};

// Stores `value` in `field` of the recordset's current row as one edit.
inline void writeValue(dao::Recordset& rs, dao::Field& field, const dao::Variant& value) {
  EditGuard edit(rs);
  field.SetValue(value);
  edit.update();
}

inline void closeQuietly(dao::Recordset& rs) noexcept {
  try {
    rs.Close();
  } catch (...) {
  }
}

// Closes the recordset when the repair ends.
struct ClosingRecordset {
  std::shared_ptr<dao::Recordset> rs;
  ClosingRecordset() = default;
  explicit ClosingRecordset(std::shared_ptr<dao::Recordset> r) : rs(std::move(r)) {}
  ClosingRecordset(const ClosingRecordset&) = delete;
  ClosingRecordset& operator=(const ClosingRecordset&) = delete;
  ~ClosingRecordset() {
    if (rs) closeQuietly(*rs);
  }
  dao::Recordset* operator->() const { return rs.get(); }
};

// One whole batch of the engine: every change inside it lands at commit() or not at all.
class BatchGuard {
 public:
  explicit BatchGuard(dao::Database& db) : db_(db) { db_.BeginWholeBatch(); }
  BatchGuard(const BatchGuard&) = delete;
  BatchGuard& operator=(const BatchGuard&) = delete;
  ~BatchGuard() { rollback(); }

  // The commit point. Throws what the engine throws: a jet::AfterCommit once the changes
  // are in the file, anything else when they are not.
  void commit() {
    open_ = false;
    db_.CommitBatch();
  }
  void rollback() noexcept {
    if (!open_) return;
    open_ = false;
    try {
      db_.RollbackBatch();
    } catch (...) {
      // A closed database has no batch left to end.
    }
  }

 private:
  dao::Database& db_;
  bool open_ = true;
};

}  // namespace repair
