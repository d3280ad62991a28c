#include "Expected.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

#include "TestFiles.h"

namespace checktest {

std::string expectedTree(const std::string& fixture, bool charMode) {
  QFile f(QString::fromStdString(testfiles::data("expected.json").string()));
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("expected.json missing");
  const QJsonObject file =
      QJsonDocument::fromJson(f.readAll())["files"][QString::fromStdString(fixture)].toObject();
  if (file.isEmpty()) throw std::runtime_error("no expectations for " + fixture);
  const QJsonArray tree = file[charMode ? "chars" : "dates"]["tree"].toArray();

  std::string out;
  for (const QJsonValue entry : file["catalog_order"].toArray()) {
    const QString name = entry["name"].toString();
    for (const QJsonValue table : tree) {
      if (table["table"].toString() != name) continue;
      out += "  " + name.toStdString() + "\n";
      for (const QJsonValue column : table["columns"].toArray())
        out += "    " + column["column"].toString().toStdString() + "(" +
               std::to_string(column["count"].toInt()) + "条)\n";
    }
  }
  return out.empty() ? "没有发现错误\n" : "表\n" + out;
}

}  // namespace checktest
