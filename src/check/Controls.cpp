#include "check/Controls.h"

#include <algorithm>

#include "jet/Error.h"

namespace check {

int ResultList::findLine(const std::string& bookmark, const std::string& query, int from) const {
  const int n = count();
  if (from < 0 || from >= n) from = 0;
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    const LineTag t = tag(i);
    if (t.bookmark == bookmark && t.query == query) return i;
  }
  return -1;
}

void ResultList::stageItem(int index, std::string text) { stagedItems_.emplace_back(index, std::move(text)); }

void ResultList::stageRemoval(int index) { stagedRemovals_.push_back(index); }

void ResultList::checkIndex(int index) const {
  if (index < 0 || index >= count()) throw jet::Error(381, "无效的属性数组索引。");
}

ResultList::Staged ResultList::takeStaged() {
  Staged staged{std::move(stagedItems_), std::move(stagedRemovals_)};
  dropStaged();
  for (const auto& [index, text] : staged.items) checkIndex(index);
  for (int index : staged.removals) checkIndex(index);
  std::sort(staged.removals.begin(), staged.removals.end());
  staged.removals.erase(std::unique(staged.removals.begin(), staged.removals.end()),
                        staged.removals.end());
  return staged;
}

void ResultList::applyStaged() {
  Staged staged = takeStaged();
  for (auto& [index, text] : staged.items) setItem(index, text);
  // From the last line up, so that each index still names its line.
  for (auto it = staged.removals.rbegin(); it != staged.removals.rend(); ++it) removeItem(*it);
}

void ResultList::dropStaged() {
  stagedItems_.clear();
  stagedRemovals_.clear();
}

ProgressMeter::ProgressMeter(EventPump& pump, std::string what, int64_t total)
    : pump_(pump), what_(std::move(what)), total_(total), start_(std::chrono::steady_clock::now()) {}

ProgressMeter::~ProgressMeter() { finish(); }

void ProgressMeter::finish() {
  due_ = INT64_MAX;
  if (!shown_) return;
  shown_ = false;
  pump_.endProgress();
}

std::string ProgressMeter::text() const {
  return what_ + "：" + std::to_string(done_) + " / " + std::to_string(total_);
}

bool ProgressMeter::check() {
  if (cancelled_) return false;
  // The clock costs little next to a row's work, but is looked at every few rows only.
  due_ = done_ + 16;
  const auto now = std::chrono::steady_clock::now();
  if (!shown_) {
    if (now - start_ < pump_.progressAfter()) return true;
    shown_ = true;
    pump_.showProgress(text(), total_);
    next_ = now;
  }
  if (now < next_) return true;
  next_ = now + std::chrono::milliseconds(100);
  cancelled_ = !pump_.progress(text(), done_);
  return !cancelled_;
}

}  // namespace check
