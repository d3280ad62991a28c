#include "AppTestSupport.h"

#include <QMenu>
#include <QTest>
#include <cstdlib>

#include "app/qt/Application.h"

namespace apptest {

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* a = new QApplication(argc, argv);
    app::setUpApplication(*a);
    return a;
  }();
  return *app;
}

void ShownWindow::SetUp() {
  qtApp();
  window = std::make_unique<app::frmMain>();
  window->setDialogs(&dialogs);
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

void ShownWindow::TearDown() {
  if (window->edit()->isVisible()) window->edit()->hide();
  window.reset();
}

}  // namespace apptest

namespace {
// Widgets may be fixture members, built before any SetUp runs.
[[maybe_unused]] QApplication& application = apptest::qtApp();
}  // namespace
