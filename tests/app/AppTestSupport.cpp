#include "AppTestSupport.h"

#include <cstdlib>

namespace apptest {

QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* a = new QApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mdbcheck"));
    return a;
  }();
  return *app;
}

void ScriptedDialogs::message(const std::string& text) {
  if (beforeMessage) {
    auto hook = std::move(beforeMessage);  // fires once
    beforeMessage = nullptr;
    hook(text);
  }
  messages.push_back(text);
}

std::string ScriptedDialogs::input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultAnswer) {
  prompts.push_back({prompt, title, defaultAnswer});
  if (answers.empty()) return {};
  std::string answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string ScriptedDialogs::openFile() {
  ++fileDialogs;
  if (files.empty()) return {};
  std::string file = files.front();
  files.pop_front();
  return file;
}

}  // namespace apptest

namespace {
// Widgets may be fixture members, built before any SetUp runs.
[[maybe_unused]] QApplication& application = apptest::qtApp();
}  // namespace
