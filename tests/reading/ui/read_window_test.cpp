// The meter reading window: its controls, menu, operations and trace file on
// a small bench, and every protocol version read on every wiring.
#include <QDir>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "reading/ui/read_data_frm.h"
#include "reading/ui/reading_list.h"
#include "support/local_time.h"
#include "support/window_fixture.h"

using namespace qv;

namespace {

sim::CivilTime BenchClock() {
  using namespace std::chrono;
  return sys_days{year{2024} / March / 5} + hours{14} + minutes{7} + seconds{59};
}

// The program directory, gone after the window.
struct ScratchDir {
  QTemporaryDir dir;
};

// The window on a virtual bench whose meters stand in a known state (heat
// 1234.567 kWh, cold 89 kWh, settlement 1000 kWh, 56.789 m³, 4321 h, status
// 01 00; 50 L/h, 80 °C in, 60 °C out; the bench clock at 2024-03-05
// 14:07:59), its program directory a scratch folder.
struct ReadBench : ScratchDir, test::WindowFixture<TReadDataFrm> {
  // Meters `setups` (or `count` default ones), every position selected;
  // `setup` changes the state before the window is made.
  explicit ReadBench(sim::Wiring wiring, std::vector<sim::MeterSetup> setups, int count = 0,
                     const std::function<void(SharedState&)>& setup = {}) {
    sim::BenchOptions o;
    o.wiring = wiring;
    o.meter_count = setups.empty() ? count : static_cast<int>(setups.size());
    o.meters = std::move(setups);
    o.clock = BenchClock;
    StartBench(o);
    for (int i = 0; i < bench->MeterCount(); ++i) {
      bench->UpdateMeter(i, [](sim::MeterState& m) {
        m.errors = {};
        m.inlet_probe_error = m.outlet_probe_error = 0;
        m.heat_wh = 1234567;
        m.cold_wh = 89000;
        m.shared_heat_wh = 1000000;
        m.volume_l = 56789;
        m.work_hours = 4321;
        m.status = {0x01, 0x00};
      });
    }
    bench->SetConditions({.flow_point = 1});
    state->ProgramDir = dir.path().toStdString() + "/";
    state->Settings.ReadAgainTimes = 2;
    state->Settings.CommWaitTimer = 1000;
    Make(
        [&](SharedState& s) {
          for (int r = 0; r < bench->MeterCount(); ++r)
            s.Rows[r].Selected = true;
          if (setup) setup(s);
        },
        600);
  }

  QTreeWidget* List() const { return frm->findChild<QTreeWidget*>("lvMain"); }
  QString Cell(int row, int column) const { return List()->topLevelItem(row)->text(column); }
  // Columns 3..14 of a row.
  QStringList Data(int row) const {
    QStringList out;
    for (int c = 3; c <= 14; ++c)
      out << Cell(row, c);
    return out;
  }
  void Select(std::initializer_list<int> rows) const {
    List()->clearSelection();
    for (int r : rows)
      List()->topLevelItem(r)->setSelected(true);
  }
  // A menu item of PopupMenu2 or a button, as the operator uses it.
  void Use(const char* name) const {
    if (auto* action = frm->findChild<QAction*>(name)) {
      action->trigger();
    } else {
      frm->findChild<QAbstractButton*>(name)->click();
    }
  }
};

// Three meters of the rows' default version on one line.
ReadBench Three(const std::function<void(SharedState&)>& setup = {}) {
  sim::MeterSetup v301;
  v301.protocol = sim::ProtocolVersion::kV301;
  return ReadBench(sim::Wiring::kSingle, {v301, v301, v301}, 0, setup);
}

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
const QStringList kTail = {"80.00",      "60.00",       "4321", "2024-03-05 14:07:59",
                           "0100欠压  ", "数据返回正确"};

}  // namespace

class ReadWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsAndCaptionsInBothLanguages() {
    ReadBench b(sim::Wiring::kSingle, {}, 3, [](SharedState& s) { s.Rows[1].Selected = false; });
    TReadDataFrm& w = *b.frm;
    QTreeWidget* list = b.List();
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->columnCount(), 16);
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(QStringList({b.Cell(1, 1), b.Cell(1, 2), b.Cell(1, 15)}),
             QStringList({QString::fromStdString(b.state->Rows[2].Address), "M-BusV3.01", "2"}));
    QVERIFY(list->isColumnHidden(15));
    QCOMPARE(list->columnWidth(3), 125);
    // A whole address and the meter clock with its seconds show uncut.
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    QVERIFY(list->fontMetrics().horizontalAdvance("00002024000001") + 2 * margin <=
            list->columnWidth(1));
    QVERIFY(list->fontMetrics().horizontalAdvance("2024-03-05 14:07:59") + 2 * margin <=
            list->columnWidth(12));
    QCOMPARE(list->topLevelItem(0)->textAlignment(14), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(b.Shown({"cbxProType", "cbxDT", "lbl2", "lbl4", "Button1"}), QStringList());
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                .match(w.findChild<QLineEdit*>("edtDT")->text())
                .hasMatch());

    QCOMPARE(b.Texts({"cbxDataType", "lbl1", "N3"}),
             QStringList({"热量", "      数据类型：", "单个抄表"}));
    QCOMPARE(list->headerItem()->text(14), QString("                   通讯情况"));
    b.state->Settings.Language = 1;
    w.hide();
    w.show();
    QCOMPARE(w.windowTitle(), QString("Read Data"));
    QCOMPARE(b.Texts({"cbxDataType", "lbl3", "N7"}),
             QStringList({"Cold", " System Time：", "Batch The Time"}));
    QCOMPARE(list->headerItem()->text(14), QString("                   Comm. State"));

    // Four icons that tell the states apart.
    QSet<qint64> icons;
    for (RowState s :
         {RowState::Pending, RowState::InProgress, RowState::Answered, RowState::Failed})
      icons << TReadingList::StateIcon(s).pixmap(16).toImage().cacheKey();
    QCOMPARE(icons.size(), 4);
  }

  void ClockSettingSilentMeterAndBroadcast() {
    using namespace std::chrono;
    ReadBench b = Three();
    b.bench->SetFaults(1, {.missed_frames = 1});
    // The PC clock runs from 12:00:00.
    const auto start = steady_clock::now();
    b.frm->Run().clock = [start] {
      return testing_time::Local(2024, 3, 5, 12, 0, 0) +
             duration_cast<system_clock::duration>(steady_clock::now() - start);
    };
    b.Select({1});
    b.Use("N8");
    QCOMPARE(b.Cell(1, 14), QString("系统对时返回正确"));
    // The frame carries the PC clock's seconds plus one; the retry went a
    // whole reply wait after the first attempt.
    const auto noon = sys_days{year{2024} / March / 5} + hours{12};
    const auto sent_at = BenchClock() + seconds(b.bench->Meter(1).clock_offset_s) - noon - 1s;
    QVERIFY(sent_at >= milliseconds(b.state->Settings.CommWaitTimer));
    QVERIFY(sent_at <= steady_clock::now() - start);

    b.state->Settings.ReadAgainTimes = 1;
    b.bench->SetFaults(1, {.silent = true});
    QCOMPARE(b.Told([&] { b.Use("btn1"); }), QStringList{QString("读数据操作结束")});
    QCOMPARE(b.Data(1), QStringList(11, QString("─")) << QString("没有数据返回"));
    QCOMPARE(b.Cell(2, 14), QString("数据返回正确"));

    b.bench->UpdateMeter(2, [](sim::MeterState& m) { m.clock_offset_s = -3600; });
    b.Select({2});
    b.Use("N8");
    QCOMPARE(b.boxes.texts.back(), QString("系统对时操作结束"));
    QCOMPARE(b.Cell(2, 14), QString("系统对时返回正确"));
    QVERIFY(b.bench->Meter(2).clock_offset_s != -3600);  // set to the PC clock

    b.state->Settings.ReadAgainTimes = 3;
    const size_t before = b.bench->ReceivedCount();
    b.Use("rbtn1");
    b.Use("N6");
    QCOMPARE(b.boxes.texts.back(), QString("广播对时命令已经下发"));
    QVERIFY(b.bench->WaitReceived(before + 3, std::chrono::milliseconds(5000)));
    for (size_t i = before; i < before + 3; ++i) {
      QCOMPARE(b.bench->Received()[i].bytes[2], uint8_t{0xAA});
      QVERIFY(b.bench->Received()[i].answers.empty());
    }
  }

  void TheBroadcastReachesEveryLineOrSaysItDidNot_data() {
    QTest::addColumn<sim::Wiring>("wiring");
    QTest::addColumn<bool>("ports");
    QTest::newRow("one line per meter") << sim::Wiring::kMulti << true;
    QTest::newRow("behind the switch") << sim::Wiring::kChannel << true;
    QTest::newRow("no open port") << sim::Wiring::kMulti << false;
  }
  void TheBroadcastReachesEveryLineOrSaysItDidNot() {
    QFETCH(sim::Wiring, wiring);
    QFETCH(bool, ports);
    ReadBench b(wiring, {}, 3, [ports](SharedState& s) {
      for (int r = 0; !ports && r < 3; ++r)
        s.Rows[r].Comm = 0;
    });
    for (int i = 0; i < 3; ++i)
      b.bench->UpdateMeter(i, [](sim::MeterState& m) { m.clock_offset_s = -3600; });
    b.Lines();
    b.Use("rbtn1");
    b.Use("N6");
    const auto lines = b.Lines();
    if (!ports) {
      QCOMPARE(b.boxes.texts.back(), QString("广播对时命令未能下发，请检查串口和通道设置"));
      QCOMPARE(test::Count(lines, " 广播对时命令未能下发"), 1);
      QCOMPARE(b.bench->ReceivedCount(), size_t{0});
      return;
    }
    QCOMPARE(b.boxes.texts.back(), QString("广播对时命令已经下发"));
    QVERIFY(test::Count(lines, wiring == sim::Wiring::kMulti ? "、COM" : "通道3") > 0);
    // Every meter heard it and set its clock (all to the same PC clock).
    QTRY_VERIFY(b.bench->Meter(2).clock_offset_s != -3600);
    for (int i = 0; i < 3; ++i)
      QVERIFY(std::abs(b.bench->Meter(i).clock_offset_s - b.bench->Meter(2).clock_offset_s) <= 1);
    for (const sim::ReceivedFrame& f : b.bench->Received())
      QVERIFY(f.bytes[1] == 0x56 || f.bytes[2] == 0xAA);
  }

  void ARowNothingReachedEndsFailedWithTheReason_data() {
    QTest::addColumn<sim::Wiring>("wiring");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no port") << sim::Wiring::kMulti << QString("串口未打开，未发送数据");
    QTest::newRow("channel not opened")
        << sim::Wiring::kChannel << QString("通道未打开，未发送数据");
  }
  void ARowNothingReachedEndsFailedWithTheReason() {
    QFETCH(sim::Wiring, wiring);
    QFETCH(QString, reason);
    ReadBench b(wiring, {}, 2, [](SharedState& s) {
      s.Settings.ReadAgainTimes = 1;
      s.Rows[1].Comm = 0;  // only a meter on its own line needs a port of its own
    });
    b.bench->SetSwitchSilent(true);
    b.Lines();
    b.Select({1});
    b.Use("N3");
    QCOMPARE(b.Data(1), QStringList(11, QString("─")) << reason);
    QVERIFY(test::Count(b.Lines(), (" 第2个设备：" + reason).toStdString()) > 0);
  }

  void AReadShowsOnlyWhatTheMeterSaidThisTime() {
    ReadBench b(sim::Wiring::kSingle, {}, 1);
    b.Use("MBusV2021");
    b.Use("btn1");
    QCOMPARE(b.Cell(0, 4), QString("1235"));
    // The 2.02 meter read under the 3.01 layout: five of its unit codes are
    // not where 3.01 looks for them. The meter answers late, so that the
    // cells are looked at while the read waits, however loaded the machine.
    b.Use("MBusV3011");
    b.bench->SetFaults(0, {.delay = std::chrono::milliseconds(300)});
    QStringList during;
    QTimer::singleShot(0, [&] { during = b.Data(0); });
    b.Use("btn1");
    QCOMPARE(during, QStringList(12, QString()));
    const QString unknown = QString("单位未知");
    QCOMPARE(b.Data(0).mid(0, 6),
             QStringList({unknown, unknown, "0.00", unknown, unknown, unknown}));
    QCOMPARE(b.Cell(0, 14), QString("返回数据单位无法识别"));
  }

  void SecondOperationTraceAndMenu() {
    ReadBench b = Three();
    bool running = false;
    // Fires in the first wait of the operation, whatever its pace.
    QTimer::singleShot(0, [&] {
      running = b.frm->Run().CurrentOperation() == kReadData;
      b.Use("N6");
    });
    b.Use("btn1");
    QVERIFY(running);
    QCOMPARE(b.beeps, 1);
    QCOMPARE(b.boxes.texts, QStringList{QString("读数据操作结束")});
    const QStringList traces = QDir(b.dir.path()).entryList({"??????????Text.txt"});
    QCOMPARE(traces.size(), 1);
    QFile trace(b.dir.filePath(traces[0]));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QVERIFY(trace.readAll().contains("调试="));
    QCOMPARE(b.frm->DroppedTraces(), uint64_t{0});

    // A folder the trace cannot be written to changes nothing else.
    b.state->ProgramDir = b.dir.filePath("gone/").toStdString();
    b.Use("btn1");
    QCOMPARE(b.Cell(2, 14), QString("数据返回正确"));
    QVERIFY(b.frm->DroppedTraces() > 0);

    // The list menu opens on a right click on a selected row, and follows
    // its rules.
    QTreeWidget* list = b.List();
    QMenu* menu = b.frm->PopupMenu();
    list->clearSelection();
    const QPoint below(40, list->viewport()->height() - 5);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, below);
    QVERIFY(!menu->isVisible());
    QTest::mouseClick(list->viewport(), Qt::RightButton, {},
                      list->visualItemRect(list->topLevelItem(1)).center());
    QVERIFY(menu->isVisible());
    menu->hide();

    // "单个抄表" with two rows selected does nothing.
    const size_t before = b.bench->ReceivedCount();
    b.Select({0, 2});
    b.Lines();
    QCOMPARE(b.Told([&] { b.Use("N3"); }), QStringList());
    QVERIFY(b.Lines().empty());

    // The broadcast choice disables the batch and single clock items.
    b.Use("rbtn1");
    QVERIFY(!b.frm->findChild<QAction*>("N7")->isEnabled());
    QVERIFY(!b.frm->findChild<QAction*>("N8")->isEnabled());

    // A protocol item writes every row; a row of an unknown text is skipped.
    const QString status = b.Cell(1, 14);
    b.Use("N16");
    QCOMPARE(b.Cell(2, 2), QString("TG"));
    list->topLevelItem(1)->setText(2, "M-Bus");
    b.Select({1});
    b.Use("N3");
    QCOMPARE(b.boxes.texts.back(), QString("读数据操作结束"));
    QCOMPARE(b.Cell(1, 14), status);
    QCOMPARE(b.bench->ReceivedCount(), before);
  }

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
      QCOMPARE(b.boxes.texts.back(), QString("读数据操作结束"));
    }
    for (int r = 0; r < 10; ++r) {
      QStringList expected;
      for (const char* text : kExpected[r / 5][r % 5])
        expected << QString(text);
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
    QCOMPARE(b.boxes.texts.back(), QString("系统对时操作结束"));
    QCOMPARE(b.Cell(1, 14), QString("系统对时返回正确"));
    QCOMPARE(b.Cell(8, 14), QString("系统对时返回正确"));
    QCOMPARE(b.Cell(0, 14), QString("数据返回正确"));
  }
};

QTEST_MAIN(ReadWindowTest)
#include "read_window_test.moc"
