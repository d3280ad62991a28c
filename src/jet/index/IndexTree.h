#pragma once
// One real index as a B-tree of index pages: walking it in key order, checking its shape,
// and finding the leaf that holds (or would hold) an entry.
//
// Shape (what walk() checks): every node entry equals the greatest entry of its child's
// subtree plus the child's page; the last child of a node is its tail_page; all leaves
// are chained by prev/next in key order; entries ascend strictly across the leaf level;
// every page names the table's TDEF page. The root's page number never changes.
//
// REQUIRES: a PageStore over the file (or a transaction's view of it).
// GUARANTEES: walk() never loops or recurses without bound on a damaged tree: it reports
// what is wrong and returns the entries it could reach.
#include <cstdint>
#include <string>
#include <vector>

#include "jet/index/IndexPage.h"
#include "jet/index/PageStore.h"

namespace jet::index {

struct TreeWalk {
  std::vector<IndexEntry> entries;     // leaf entries in leaf order
  std::vector<uint32_t> pages;         // every page reached, root first
  std::vector<std::string> problems;   // readable, one per fault
  int depth = 0;                       // 1 = the root is a leaf
};

TreeWalk walk(PageStore& pages, const IndexPageLayout& L, uint32_t root, uint32_t tdefPage);

// The path from the root to the leaf where `entry` (key + RowId) is or belongs: node pages
// first, the leaf last. Each step's index is the child's position in its parent (the
// number of entries for the tail child).
struct PathStep {
  IndexPage page;
  size_t childIndex = 0;
};
std::vector<PathStep> descend(PageStore& pages, const IndexPageLayout& L, uint32_t root,
                              const Bytes& entry);

// True when the index holds exactly this entry (key + RowId).
bool contains(PageStore& pages, const IndexPageLayout& L, uint32_t root, const Bytes& entry);

}  // namespace jet::index
