#include "app/qt/Application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

void setUpApplication(QApplication& application) {
  // Not the display name: on X11 that would be appended to the window's caption.
  QApplication::setApplicationName(QString::fromUtf8(kApplicationName));
  // Qt's standard texts (file dialog, context menus); absent translations leave them as
  // they are, and every box of our own sets its button texts itself.
  auto* translator = new QTranslator(&application);
  if (translator->load(QStringLiteral("qtbase_zh_CN"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace app
