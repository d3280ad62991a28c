#pragma once
// What every run of the window needs from the application object: its name, under which the
// window's size and place are remembered, and Qt's own texts in Simplified Chinese.
class QApplication;

namespace app {

// The program's name; the boxes the window shows are titled with its caption instead.
inline constexpr const char* kApplicationName = "mdbcheck";

// REQUIRES: called once, right after the QApplication is built.
void setUpApplication(QApplication& application);

}  // namespace app
