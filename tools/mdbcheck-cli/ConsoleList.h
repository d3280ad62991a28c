#pragma once
// The console's result list. A batch over a million rows must not hold its values, nor
// anything else per line. A list that keeps its lines packs each line's bookmark and the
// number of its query into eight bytes (the engine's bookmarks are six bytes; a longer
// one is refused) beside its text. A streaming list keeps nothing per line: its lines are
// the rows of its one query in the order a fresh open of the query returns them (a
// console command changes nothing between its drill-down and its batch), and it prints
// each line a repair stages, at once, in that order. It keeps the text of its first line
// alone, the line the console's batch commands start from.
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "check/Controls.h"

namespace cli {

class ConsoleList : public check::ResultList {
 public:
  explicit ConsoleList(std::ostream& out) : out_(out) {}
  // Before the drill-down: whether lines are printed as a repair stages them.
  void setStreaming(bool on) { streaming_ = on; }

  void clear() override;
  void addItem(const std::string& text, const check::LineTag& tag) override;
  int count() const override { return streaming_ ? streamed_ : static_cast<int>(lines_.size()); }
  std::string item(int index) const override;
  void setItem(int index, const std::string& text) override;
  check::LineTag tag(int index) const override;
  void removeItem(int index) override;
  int listIndex() const override { return selected_; }
  int findLine(const std::string& bookmark, const std::string& query, int from) const override;
  void stageItem(int index, std::string text) override;
  void applyStaged() override;

  void select(int index) { selected_ = index; }
  // The kept lines, one console line each, escaped as a dump escapes them.
  void print() const;

 private:
  void check(int index) const;
  void printLine(const std::string& text) const;
  // Keeps the lines marked true, in order.
  void keepOnly(const std::vector<bool>& keep);
  // Bits 0-47 the bookmark's bytes, 48-50 its length, 51-63 the query's number.
  static uint64_t pack(const std::string& bookmark, size_t query);

  std::ostream& out_;
  bool streaming_ = false;
  std::deque<uint64_t> lines_;  // grows without copying itself
  std::vector<std::string> queries_;
  std::deque<std::string> texts_;  // every line's, unless streaming
  std::string first_;              // the first line's, when streaming
  int streamed_ = 0;               // the lines of a streaming list
  int selected_ = -1;
};

}  // namespace cli
