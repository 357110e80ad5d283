// A written workbook read back by an independent reader: openpyxl through
// tests/detection/ui/dump_workbook.py (PYTHON and DUMP_WORKBOOK are set by
// the test's build rule), as a JSON object.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

namespace qv::test {

inline QJsonObject ReadBack(const QString& path) {
  QProcess python;
  python.start(PYTHON, {DUMP_WORKBOOK, path});
  if (!python.waitForFinished(60000) || python.exitCode() != 0)
    qFatal("openpyxl could not read %s: %s", qPrintable(path),
           python.readAllStandardError().data());
  return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

}  // namespace qv::test
