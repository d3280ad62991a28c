#include "jet/index/IndexTree.h"

#include <algorithm>
#include <optional>
#include <set>

namespace jet::index {

namespace {

constexpr int kMaxDepth = 16;  // far beyond any tree 32-bit page numbers allow

std::string pageText(uint32_t n) { return "第 " + std::to_string(n) + " 页"; }

class Walker {
 public:
  Walker(PageStore& src, const IndexPageLayout& L, uint32_t tdefPage, TreeWalk& out)
      : src_(src), L_(L), tdef_(tdefPage), out_(out) {}

  // Returns the greatest entry of the subtree (empty when it holds none).
  std::optional<Bytes> visit(uint32_t n, int depth) {
    if (depth > kMaxDepth) {
      problem(pageText(n) + "：索引树层数过多");
      return std::nullopt;
    }
    if (n == 0 || !seen_.insert(n).second) {
      problem(pageText(n) + "：索引树中的页面重复出现或为空指针");
      return std::nullopt;
    }
    IndexPage p;
    try {
      p = decodeIndexPage(src_.page(n), n, L_);
    } catch (const std::exception& e) {
      problem(e.what());
      return std::nullopt;
    }
    out_.pages.push_back(n);
    out_.depth = std::max(out_.depth, depth);
    if (p.tdefPage != tdef_)
      problem(pageText(n) + "：索引页所属的表定义页为 " + std::to_string(p.tdefPage) +
              "，应为 " + std::to_string(tdef_));
    for (size_t i = 1; i < p.entries.size(); ++i)
      if (compareEntries(p.entries[i - 1].bytes, p.entries[i].bytes) >= 0) {
        problem(pageText(n) + "：页内条目未按键排序（第 " + std::to_string(i) + " 条）");
        break;
      }
    if (p.leaf()) {
      if (leafDepth_ < 0) leafDepth_ = depth;
      if (depth != leafDepth_) problem(pageText(n) + "：叶页深度不一致");
      if (!leaves_.empty()) {
        const IndexPage& last = leaves_.back();
        if (last.next != n || p.prev != last.number)
          problem(pageText(last.number) + " 与 " + pageText(n) + "：叶页的前后链接不一致");
      } else if (p.prev != 0) {
        problem(pageText(n) + "：第一个叶页的前一页应为 0");
      }
      for (IndexEntry& e : p.entries) {
        if (!out_.entries.empty() && compareEntries(out_.entries.back().bytes, e.bytes) >= 0 &&
            !orderReported_) {
          problem(pageText(n) + "：叶页条目未按键排序");
          orderReported_ = true;
        }
        out_.entries.push_back(e);
      }
      std::optional<Bytes> greatest;
      if (!p.entries.empty()) greatest = p.entries.back().bytes;
      p.entries.clear();
      p.entries.shrink_to_fit();
      leaves_.push_back(std::move(p));
      return greatest;
    }
    if (p.entries.empty() && p.tail == 0) problem(pageText(n) + "：中间页没有子页");
    if (p.tail == 0 && p.entries.size() >= 2)
      problem(pageText(n) + "：中间页有多个子页却没有尾页 (tail_page)");
    std::optional<Bytes> greatest;
    for (const IndexEntry& e : p.entries) {
      std::optional<Bytes> g = visit(e.child, depth + 1);
      if (g && *g != e.bytes)
        problem(pageText(n) + "：指向 " + pageText(e.child) + " 的条目不等于子页的最大条目");
      if (g) greatest = g;
    }
    if (p.tail != 0) {
      std::optional<Bytes> g = visit(p.tail, depth + 1);
      if (g) greatest = g;
    }
    return greatest;
  }

  void finish() {
    if (!leaves_.empty() && leaves_.back().next != 0)
      problem(pageText(leaves_.back().number) + "：最后一个叶页的后一页应为 0");
  }

 private:
  void problem(std::string s) { out_.problems.push_back(std::move(s)); }

  PageStore& src_;
  const IndexPageLayout& L_;
  uint32_t tdef_;
  TreeWalk& out_;
  std::set<uint32_t> seen_;
  std::vector<IndexPage> leaves_;  // headers only, in order
  int leafDepth_ = -1;
  bool orderReported_ = false;
};

}  // namespace

TreeWalk walk(PageStore& pages, const IndexPageLayout& L, uint32_t root, uint32_t tdefPage) {
  TreeWalk out;
  Walker w(pages, L, tdefPage, out);
  w.visit(root, 1);
  w.finish();
  return out;
}

std::vector<PathStep> descend(PageStore& pages, const IndexPageLayout& L, uint32_t root,
                              const Bytes& entry) {
  std::vector<PathStep> path;
  uint32_t n = root;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) throw IndexCorrupt(pageText(root) + "：索引树层数过多");
    PathStep step;
    step.page = decodeIndexPage(pages.page(n), n, L);
    if (step.page.leaf()) {
      path.push_back(std::move(step));
      return path;
    }
    const std::vector<IndexEntry>& es = step.page.entries;
    auto it = std::lower_bound(es.begin(), es.end(), entry, [](const IndexEntry& e, const Bytes& b) {
      return compareEntries(e.bytes, b) < 0;
    });
    step.childIndex = static_cast<size_t>(it - es.begin());
    uint32_t child = it != es.end() ? it->child : step.page.tail;
    if (child == 0) {
      // Past the last entry of a node without a tail: the last child holds the greatest.
      if (es.empty()) throw IndexCorrupt(pageText(n) + "：中间页没有子页");
      step.childIndex = es.size() - 1;
      child = es.back().child;
    }
    path.push_back(std::move(step));
    n = child;
  }
}

bool contains(PageStore& pages, const IndexPageLayout& L, uint32_t root, const Bytes& entry) {
  const std::vector<PathStep> path = descend(pages, L, root, entry);
  const std::vector<IndexEntry>& es = path.back().page.entries;
  return std::binary_search(es.begin(), es.end(), IndexEntry{entry, 0},
                            [](const IndexEntry& a, const IndexEntry& b) {
                              return compareEntries(a.bytes, b.bytes) < 0;
                            });
}

}  // namespace jet::index
