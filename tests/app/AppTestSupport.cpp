#include "AppTestSupport.h"

#include <cstdlib>

#include "app/Application.h"

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

}  // namespace apptest

namespace {
// Widgets may be fixture members, built before any SetUp runs.
[[maybe_unused]] QApplication& application = apptest::qtApp();
}  // namespace
