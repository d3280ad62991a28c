#include "ConsoleList.h"

#include "jet/Dump.h"
#include "jet/Error.h"

namespace cli {

namespace {
constexpr size_t kMaxBookmark = 6;
constexpr size_t kMaxQueries = size_t{1} << 13;
}  // namespace

void ConsoleList::check(int index) const {
  if (index < 0 || index >= count()) throw jet::Error(381, "无效的属性数组索引。");
}

uint64_t ConsoleList::pack(const std::string& bookmark, size_t query) {
  uint64_t v = 0;
  for (size_t i = 0; i < bookmark.size(); ++i) v |= uint64_t(static_cast<unsigned char>(bookmark[i])) << (8 * i);
  return v | uint64_t(bookmark.size()) << 48 | uint64_t(query) << 51;
}

void ConsoleList::clear() {
  lines_.clear();
  queries_.clear();
  texts_.clear();
  first_.clear();
  streamed_ = 0;
  selected_ = -1;
  dropStaged();
}

void ConsoleList::addItem(const std::string& text, const check::LineTag& tag) {
  if (streaming_) {
    if (queries_.empty()) {
      queries_.push_back(tag.query);
      first_ = text;
    } else if (tag.query != queries_[0]) {
      throw jet::Error(381, "无效的属性数组索引。");
    }
    ++streamed_;
    return;
  }
  if (tag.bookmark.size() > kMaxBookmark) throw jet::Error(3159, "不是有效的书签。");
  size_t q = queries_.size();
  while (q > 0 && queries_[q - 1] != tag.query) --q;
  if (q == 0) {
    if (queries_.size() == kMaxQueries) throw jet::Error(381, "无效的属性数组索引。");
    queries_.push_back(tag.query);
    q = queries_.size();
  }
  lines_.push_back(pack(tag.bookmark, q - 1));
  texts_.push_back(text);
}

std::string ConsoleList::item(int index) const {
  check(index);
  if (!streaming_) return texts_[static_cast<size_t>(index)];
  return index == 0 ? first_ : std::string();
}

void ConsoleList::setItem(int index, const std::string& text) {
  check(index);
  if (!streaming_)
    texts_[static_cast<size_t>(index)] = text;
  else if (index == 0)
    first_ = text;
}

check::LineTag ConsoleList::tag(int index) const {
  check(index);
  if (streaming_) return {std::string(), queries_[0]};
  const uint64_t v = lines_[static_cast<size_t>(index)];
  std::string bookmark((v >> 48) & 7, '\0');
  for (size_t i = 0; i < bookmark.size(); ++i) bookmark[i] = static_cast<char>(v >> (8 * i));
  return {std::move(bookmark), queries_[v >> 51]};
}

void ConsoleList::removeItem(int index) {
  check(index);
  if (streaming_) {
    --streamed_;
    return;
  }
  std::vector<bool> keep(lines_.size(), true);
  keep[static_cast<size_t>(index)] = false;
  keepOnly(keep);
}

int ConsoleList::findLine(const std::string& bookmark, const std::string& query, int from) const {
  if (streaming_) return !queries_.empty() && query == queries_[0] && from >= 0 && from < streamed_ ? from : -1;
  size_t q = 0;
  while (q < queries_.size() && queries_[q] != query) ++q;
  const int n = count();
  if (q == queries_.size() || n == 0 || bookmark.size() > kMaxBookmark) return -1;
  const uint64_t want = pack(bookmark, q);
  if (from < 0 || from >= n) from = 0;
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    if (lines_[static_cast<size_t>(i)] == want) return i;
  }
  return -1;
}

void ConsoleList::stageItem(int index, std::string text) {
  if (!streaming_) {
    ResultList::stageItem(index, std::move(text));
    return;
  }
  check(index);
  printLine(text);
}

void ConsoleList::applyStaged() {
  if (streaming_) {
    // The lines are printed; what is left is only counted.
    streamed_ -= static_cast<int>(stagedRemovals_.size());
    if (!stagedRemovals_.empty()) first_.clear();
    dropStaged();
    return;
  }
  std::vector<bool> keep(lines_.size(), true);
  for (int index : stagedRemovals_) {
    check(index);
    keep[static_cast<size_t>(index)] = false;
  }
  for (auto& [index, text] : stagedItems_) setItem(index, text);
  dropStaged();
  keepOnly(keep);
}

void ConsoleList::keepOnly(const std::vector<bool>& keep) {
  size_t kept = 0;
  int selected = -1;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (!keep[i]) continue;
    if (static_cast<int>(i) == selected_) selected = static_cast<int>(kept);
    if (kept != i) {
      lines_[kept] = lines_[i];
      texts_[kept] = std::move(texts_[i]);
    }
    ++kept;
  }
  lines_.resize(kept);
  texts_.resize(kept);
  selected_ = selected;
}

void ConsoleList::printLine(const std::string& text) const {
  std::string out;
  jet::appendEscaped(out, text);
  out += '\n';
  out_ << out;
}

void ConsoleList::print() const {
  for (const std::string& text : texts_) printLine(text);
}

}  // namespace cli
