#pragma once
// What every run of the window needs from the application object: its name, which message
// boxes show as their title, and Qt's own texts in Simplified Chinese.
class QApplication;

namespace app {

// Message boxes carry no title of their own: they show the application's name.
inline constexpr const char* kApplicationName = "mdbcheck";

// REQUIRES: called once, right after the QApplication is built.
void setUpApplication(QApplication& application);

}  // namespace app
