#include <QApplication>

#include "app/qt/Application.h"
#include "app/qt/frmMain.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::setUpApplication(application);
  app::frmMain window;
  window.rememberPlacement();
  window.show();
  return application.exec();
}
