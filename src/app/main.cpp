#include <QApplication>

#include "app/frmMain.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(app::kApplicationName));
  app::frmMain window;
  window.show();
  return application.exec();
}
