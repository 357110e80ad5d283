// One meter heat with BCD digits above 9 reads alike on every path that
// shows or keeps it: the grid, the results journal and the workbook.
#include <QJsonObject>

#include "detection/ui/result_export.h"
#include "flow_support.h"
#include "journal/core/journal_store.h"
#include "support/open_journal.h"
#include "support/temp_files.h"
#include "support/workbook.h"

using namespace qv;
using namespace qv::flow_test;

class HeatPathsTest : public QObject {
  Q_OBJECT

 private slots:
  void DigitsAbove9ReadAlikeOnEveryPath() {
    // Heat bytes and unit code: 1A 2B 3C 4D is 53423120 Wh x10.
    const std::pair<std::array<uint8_t, 5>, QString> cases[] = {
        {{0x1A, 0x2B, 0x3C, 0x4D, 0x06}, "534231.200"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x0A}, "16666666500.000"}};
    for (const auto& [heat, kwh] : cases) {
      test::TempDir dir;
      BasicSimWindow<TOverallDetectionFrm> w(1, {},
                                             [&](SharedState& s) { s.ProgramDir = dir.Dir(); });
      w.bench->UpdateMeter(0, [&](sim::MeterState& m) { m.reported_heat = heat; });
      w.state->Journal = test::OpenJournal(dir.Dir());
      QVERIFY(w.state->Journal);
      QStringList saved;
      w.frm->Export().open = [&saved](const QString& path) {
        saved << path;
        return true;
      };
      w.Select({0});
      w.Click("btnFlow");
      QCOMPARE(w.Edit("edtQ1Heat1")->text(), kwh);

      ResultRecorder& journal = *w.state->Journal;
      QVERIFY(journal.WaitAcknowledged(journal.Taken(), std::chrono::seconds(30)));
      std::string error;
      const auto readings = QueryReadings(JournalPath(dir.Dir()), {}, error);
      QCOMPARE(readings.size(), size_t{1});
      const std::vector<std::string> columns = ReadingColumns();
      const auto heat_column = std::find(columns.begin(), columns.end(), "meter_heat");
      QCOMPARE(QString::fromStdString(
                   ReadingField(readings[0], static_cast<size_t>(heat_column - columns.begin()))),
               kwh);

      w.Click("btnExcel");
      QCOMPARE(saved.size(), 1);
      // Row 6 is the first meter; D is the heat of flow point 1.
      QCOMPARE(test::ReadBack(saved[0])["cells"].toObject()["D6"].toObject()["text"].toString(),
               kwh);
    }
  }
};

QTEST_MAIN(HeatPathsTest)
#include "heat_paths_test.moc"
