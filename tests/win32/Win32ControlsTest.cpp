// The Windows window's controls as the commands see them, on real controls of a real
// (hidden) window: what the tree keeps open across a rebuild, how the list keeps its
// selection through removals and batches, and the errors a bad key or index raises.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "app/dispatch/Window.h"
#include "app/win32/Win32Controls.h"
#include "jet/Error.h"

namespace {

using app::win32::ListControl;
using app::win32::PanelControl;
using app::win32::TreeControl;
using check::NodeId;

NodeId table(const std::string& t) { return {NodeId::Kind::Table, t, {}}; }
NodeId column(const std::string& t, const std::string& c) { return {NodeId::Kind::Column, t, c}; }

class Win32Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    tree_ = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | TVS_HASBUTTONS, 0, 0, 200, 200,
                            parent_, nullptr, nullptr, nullptr);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL, 0, 0, 200, 200,
                            parent_, nullptr, nullptr, nullptr);
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD, 0, 0, 0, 0, parent_, nullptr,
                              nullptr, nullptr);
    ASSERT_TRUE(tree_ && list_ && status_);
  }
  void TearDown() override { DestroyWindow(parent_); }

  static int errorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const jet::Error& e) {
      return e.number();
    }
    return 0;
  }

  HWND parent_ = nullptr, tree_ = nullptr, list_ = nullptr, status_ = nullptr;
};

bool isOpen(HWND tree, HTREEITEM item) {
  return (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
          TVIS_EXPANDED) != 0;
}
HTREEITEM next(HWND tree, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

TEST_F(Win32Controls, TreeRebuildKeepsWhatWasOpenAndRefusesBadKeys) {
  TreeControl tree(tree_);
  tree.add(NodeId{}, "表");
  tree.add(table("Orders"), "Orders");
  tree.add(column("Orders", "Shipped"), "Shipped(3条)");
  tree.add(table("凭证"), "凭证");
  tree.add(column("凭证", "摘要"), "摘要(7条)");
  HTREEITEM root = next(tree_, nullptr, TVGN_ROOT);
  EXPECT_TRUE(isOpen(tree_, root)) << "a first tree opens its root";
  HTREEITEM voucher = next(tree_, next(tree_, root, TVGN_CHILD), TVGN_NEXT);
  SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(voucher));

  // The same check again: 凭证 opens as its child comes back, Orders stays shut.
  tree.clear();
  tree.add(NodeId{}, "表");
  tree.add(table("Orders"), "Orders");
  tree.add(column("Orders", "Shipped"), "Shipped(2条)");
  tree.add(table("凭证"), "凭证");
  tree.add(column("凭证", "摘要"), "摘要(7条)");
  root = next(tree_, nullptr, TVGN_ROOT);
  HTREEITEM orders = next(tree_, root, TVGN_CHILD);
  voucher = next(tree_, orders, TVGN_NEXT);
  EXPECT_TRUE(isOpen(tree_, root));
  EXPECT_FALSE(isOpen(tree_, orders));
  EXPECT_TRUE(isOpen(tree_, voucher));

  EXPECT_EQ(tree.text(column("Orders", "Shipped")), "Shipped(2条)");
  tree.setText(column("Orders", "Shipped"), "Shipped(0条)");
  EXPECT_EQ(tree.text(column("Orders", "Shipped")), "Shipped(0条)");
  EXPECT_EQ(tree.childCount(NodeId{}), 2);
  // A table's removal forgets its columns; the node ids never collide with texts.
  tree.remove(table("Orders"));
  EXPECT_FALSE(tree.contains(column("Orders", "Shipped")));
  EXPECT_EQ(tree.childCount(NodeId{}), 1);
  EXPECT_EQ(errorOf([&] { tree.add(table("凭证"), "凭证"); }), 35602);
  EXPECT_EQ(errorOf([&] { tree.text(table("Orders")); }), 35601);

  SendMessageW(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(next(tree_, voucher, TVGN_CHILD)));
  ASSERT_TRUE(tree.selected().has_value());
  EXPECT_EQ(*tree.selected(), column("凭证", "摘要"));
}

TEST_F(Win32Controls, ListKeepsItsSelectionThroughRemovalsAndBatches) {
  ListControl list(list_);
  for (int i = 0; i < 40; ++i) list.addItem("v" + std::to_string(i), {"b" + std::to_string(i), "q"});
  EXPECT_EQ(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0), 40);
  LVITEMW state{};
  state.stateMask = state.state = LVIS_SELECTED;
  SendMessageW(list_, LVM_SETITEMSTATE, 10, reinterpret_cast<LPARAM>(&state));
  ASSERT_EQ(list.listIndex(), 10);
  EXPECT_EQ(list.text(), "v10");

  list.removeItem(3);  // before the selection: it moves up with its line
  EXPECT_EQ(list.text(), "v10");
  list.removeItem(list.listIndex());  // the selected line: none selected after it
  EXPECT_EQ(list.listIndex(), -1);
  EXPECT_EQ(list.count(), 38);

  // A batch: twenty removals and a rewrite shown at once; the tags stay with their lines.
  SendMessageW(list_, LVM_SETITEMSTATE, 30, reinterpret_cast<LPARAM>(&state));
  const std::string kept = list.text();
  for (int i = 0; i < 20; ++i) list.stageRemoval(i);
  list.stageItem(25, "new\r\nline");
  EXPECT_EQ(list.count(), 38) << "staging changes nothing yet";
  list.applyStaged();
  EXPECT_EQ(list.count(), 18);
  EXPECT_EQ(list.text(), kept);
  EXPECT_EQ(list.item(5), "new\r\nline");
  EXPECT_EQ(list.findLine(list.tag(5).bookmark, "q", 0), 5);
  EXPECT_EQ(ListControl::shown("new\r\nline\nend"), L"new\u21b5line\u21b5end");
  EXPECT_EQ(errorOf([&] { list.item(18); }), 381);

  PanelControl panels(status_, 3);
  panels.setPanelText(3, "-+*/");
  EXPECT_EQ(panels.panelText(3), "-+*/");
  EXPECT_EQ(errorOf([&] { panels.setPanelText(4, "x"); }), 35600);
}

// The progress of long work: a dialog titled with the window's caption over a disabled
// window, whose 取消 stops the work; the window takes input again when it goes.
TEST_F(Win32Controls, ProgressDialogStopsOnCancel) {
  int delivered = 0;
  app::win32::Win32EventPump pump(parent_, [&](MSG& msg) {
    ++delivered;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  });
  pump.showProgress("批量更新字段 'T1'", 1000);
  HWND dialog = pump.progressDialog();
  ASSERT_NE(dialog, nullptr);
  wchar_t text[128] = {};
  GetWindowTextW(dialog, text, 128);
  EXPECT_EQ(app::win32::utf8(text), app::kCaption);
  GetDlgItemTextW(dialog, IDCANCEL, text, 128);
  EXPECT_EQ(app::win32::utf8(text), app::kCancelText);
  EXPECT_FALSE(IsWindowEnabled(parent_));
  EXPECT_TRUE(pump.progress("批量更新字段 'T1'：10/1000", 10));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_FALSE(pump.progress("批量更新字段 'T1'：20/1000", 20));
  pump.endProgress();
  EXPECT_EQ(pump.progressDialog(), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowEnabled(parent_));
}

}  // namespace
