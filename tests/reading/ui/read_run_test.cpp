// Reading metering data through the window on every wiring of a bench:
// five heat and five cold meters, one of each protocol version, with one
// unselected position between them, read in two batches (data type heat,
// then cold). Every row shows what its version's layout makes of its meter.
#include "read_support.h"

using namespace qv;
using namespace qv::read_test;

namespace {

using sim::ProtocolVersion;

constexpr ProtocolVersion kVersions[] = {ProtocolVersion::kV201, ProtocolVersion::kV202,
                                         ProtocolVersion::kV203, ProtocolVersion::kV301,
                                         ProtocolVersion::kTG};

// Columns 3..11 by version, heat then cold (the tail is the same for all).
const char* const kExpected[2][5][6] = {{{"0", "1235", "89", "0.00", "0.050", "57"},
                                         {"0", "1235", "89", "0.00", "0.050", "57"},
                                         {"0", "1235", "89", "1.14", "0.050", "57"},
                                         {"1000.00", "1234.57", "0.00", "1.14", "0.0500", "56.79"},
                                         {"0", "1234.57", "89.00", "1.14", "0.050", "56.79"}},
                                        {{"0", "1235", "89", "0.00", "0.050", "57"},
                                         {"0", "1235", "89", "0.00", "0.050", "57"},
                                         {"0", "1235", "89", "1.14", "0.050", "57"},
                                         {"1000.00", "0.00", "89.00", "1.14", "0.0500", "56.79"},
                                         {"0", "1234.57", "89.00", "1.14", "0.050", "56.79"}}};
const QStringList kTail = {"80.00",
                           "60.00",
                           "4321",
                           "2024-03-05 14:07:59",
                           QString::fromUtf8("0100欠压  "),
                           QString::fromUtf8("数据返回正确")};

}  // namespace

class ReadRunTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryVersionHeatAndColdOnEveryWiring_data() {
    QTest::addColumn<sim::Wiring>("wiring");
    QTest::newRow("single") << sim::Wiring::kSingle;
    QTest::newRow("multi") << sim::Wiring::kMulti;
    QTest::newRow("channel") << sim::Wiring::kChannel;
  }
  void EveryVersionHeatAndColdOnEveryWiring() {
    QFETCH(sim::Wiring, wiring);
    std::vector<sim::MeterSetup> setups(11);
    for (int i = 0; i < 5; ++i) {
      setups[i].protocol = setups[i + 6].protocol = kVersions[i];
      setups[i + 6].kind = sim::MeterKind::kCold;
    }
    constexpr int kSkipped = 5;
    ReadBench b(wiring, setups, 0, [](SharedState& s) { s.Rows[kSkipped].Selected = false; });
    QTreeWidget* list = b.List();
    QCOMPARE(list->topLevelItemCount(), 10);
    for (int r = 0; r < 10; ++r) {
      QCOMPARE(b.Cell(r, 15), QString::number(r < kSkipped ? r : r + 1));
      list->topLevelItem(r)->setText(2, QString::fromUtf8(sim::ProtocolText(kVersions[r % 5])));
    }

    auto* type = b.frm->findChild<QComboBox*>("cbxDataType");
    for (int kind = 0; kind < 2; ++kind) {
      type->setCurrentIndex(1 - kind);  // "热量", then "冷量"
      b.Select({5 * kind, 5 * kind + 1, 5 * kind + 2, 5 * kind + 3, 5 * kind + 4});
      b.Use("N2");
      QCOMPARE(b.boxes.texts.size(), kind + 1);
      QCOMPARE(b.boxes.texts.back(), QString::fromUtf8("读数据操作结束"));
    }
    for (int r = 0; r < 10; ++r) {
      QStringList expected;
      for (const char* text : kExpected[r / 5][r % 5])
        expected << QString::fromUtf8(text);
      QCOMPARE(b.Data(r), expected + kTail);
    }
    // The data type reaches the requests of versions 3.01 and TG.
    for (const sim::ReceivedFrame& f : b.bench->Received()) {
      if (f.bytes[1] == 0x56) continue;  // the switch's frames
      const int meter = f.answers.empty() ? -1 : f.answers[0];
      if (meter == 3 || meter == 4) QCOMPARE(f.bytes[1], uint8_t{0x20});
      if (meter == 9 || meter == 10) QCOMPARE(f.bytes[1], uint8_t{0x21});
    }
    // Clock setting behind the same wiring, the switch answering first.
    b.Select({1, 8});
    b.Use("N7");
    QCOMPARE(b.boxes.texts.back(), QString::fromUtf8("系统对时操作结束"));
    QCOMPARE(b.Cell(1, 14), QString::fromUtf8("系统对时返回正确"));
    QCOMPARE(b.Cell(8, 14), QString::fromUtf8("系统对时返回正确"));
    QCOMPARE(b.Cell(0, 14), QString::fromUtf8("数据返回正确"));
  }
};

QTEST_MAIN(ReadRunTest)
#include "read_run_test.moc"
