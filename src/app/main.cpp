#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle(QStringLiteral("Access数据的日期和特殊字符检查工具"));
  w.show();
  return app.exec();
}
