// mdbcheck.exe: the window on Windows.
#include <windows.h>

#include "app/win32/MainWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  app::win32::MainWindow window(instance);
  if (!window.create(showCommand)) return 1;
  return window.run();
}
