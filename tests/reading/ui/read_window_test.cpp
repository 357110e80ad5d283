// The meter reading window on a small bench (three meters on one line):
// its controls and captions in both languages, the list menu and its rules,
// a silent meter, clock setting, the broadcast, a refused second operation
// and the trace file.
#include <QDir>
#include <QHeaderView>
#include <QRegularExpression>

#include "read_support.h"

using namespace qv;
using namespace qv::read_test;

namespace {

QString U(const char* text) {
  return QString::fromUtf8(text);
}

ReadBench Three(const std::function<void(SharedState&)>& setup = {}) {
  return ReadBench(sim::Wiring::kSingle, {}, 3, setup);
}

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
    QCOMPARE(b.Cell(1, 1), QString::fromStdString(b.state->Rows[2].Address));
    QCOMPARE(b.Cell(1, 2), U("M-BusV3.01"));
    QCOMPARE(b.Cell(1, 15), U("2"));
    QVERIFY(list->isColumnHidden(15));
    QCOMPARE(list->columnWidth(3), 125);
    QCOMPARE(list->topLevelItem(0)->textAlignment(14), int(Qt::AlignLeft | Qt::AlignVCenter));
    for (const char* hidden : {"cbxProType", "cbxDT", "lbl2", "lbl4", "Button1"})
      QVERIFY2(w.findChild<QWidget*>(hidden)->isHidden(), hidden);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                .match(w.findChild<QLineEdit*>("edtDT")->text())
                .hasMatch());

    auto* type = w.findChild<QComboBox*>("cbxDataType");
    QCOMPARE(type->currentText(), U("热量"));
    QCOMPARE(w.findChild<QLabel*>("lbl1")->text(), U("      数据类型："));
    QCOMPARE(list->headerItem()->text(14), U("                   通讯情况"));
    QCOMPARE(w.findChild<QAction*>("N3")->text(), U("单个抄表"));
    b.state->Settings.Language = 1;
    w.hide();
    w.show();
    QCOMPARE(w.windowTitle(), U("Read Data"));
    QCOMPARE(type->currentText(), U("Cold"));
    QCOMPARE(w.findChild<QLabel*>("lbl3")->text(), U(" System Time："));
    QCOMPARE(list->headerItem()->text(14), U("                   Comm. State"));
    QCOMPARE(w.findChild<QAction*>("N7")->text(), U("Batch The Time"));

    // Four icons that tell the states apart.
    QSet<qint64> icons;
    for (RowState s :
         {RowState::Pending, RowState::InProgress, RowState::Answered, RowState::Failed})
      icons << TReadingList::StateIcon(s).pixmap(16).toImage().cacheKey();
    QCOMPARE(icons.size(), 4);
  }

  void MenuOpensOnARightClickOnASelectedRowAndFollowsItsRules() {
    ReadBench b = Three();
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
    b.Select({0, 2});
    b.Lines();
    b.Use("N3");
    QVERIFY(b.Lines().empty());
    QVERIFY(b.boxes.texts.isEmpty());

    // The broadcast choice disables the batch and single clock items.
    b.Use("rbtn1");
    QVERIFY(!b.frm->findChild<QAction*>("N7")->isEnabled());
    QVERIFY(!b.frm->findChild<QAction*>("N8")->isEnabled());

    // A protocol item writes every row; an unknown text is skipped.
    b.Use("N16");
    QCOMPARE(b.Cell(2, 2), U("TG"));
    list->topLevelItem(1)->setText(2, "M-Bus");
    b.Select({1});
    b.Use("N3");
    QCOMPARE(b.boxes.texts.back(), U("读数据操作结束"));
    QCOMPARE(b.Cell(1, 14), QString());
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
  }

  void SilentMeterClockSettingAndBroadcast() {
    ReadBench b = Three([](SharedState& s) { s.Settings.ReadAgainTimes = 1; });
    sim::MeterFaults silent;
    silent.silent = true;
    b.bench->SetFaults(1, silent);
    b.Use("btn1");
    QCOMPARE(b.boxes.texts, QStringList{U("读数据操作结束")});
    QStringList failed(11, U("─"));
    QCOMPARE(b.Data(1), failed << U("没有数据返回"));
    QCOMPARE(b.Cell(2, 14), U("数据返回正确"));

    b.bench->UpdateMeter(2, [](sim::MeterState& m) { m.clock_offset_s = -3600; });
    b.Select({2});
    b.Use("N8");
    QCOMPARE(b.boxes.texts.back(), U("系统对时操作结束"));
    QCOMPARE(b.Cell(2, 14), U("系统对时返回正确"));
    QVERIFY(b.bench->Meter(2).clock_offset_s != -3600);  // set to the PC clock

    b.state->Settings.ReadAgainTimes = 3;
    const size_t before = b.bench->ReceivedCount();
    b.Use("rbtn1");
    b.Use("N6");
    QCOMPARE(b.boxes.texts.back(), U("广播对时命令已经下发"));
    QVERIFY(b.bench->WaitReceived(before + 3, std::chrono::milliseconds(5000)));
    for (size_t i = before; i < before + 3; ++i) {
      QCOMPARE(b.bench->Received()[i].bytes[2], uint8_t{0xAA});
      QVERIFY(b.bench->Received()[i].answers.empty());
    }
  }

  void SecondOperationIsRefusedAndTheTraceIsWritten() {
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
    QCOMPARE(b.boxes.texts, QStringList{U("读数据操作结束")});
    const QStringList traces = QDir(b.dir.path()).entryList({"??????????Text.txt"});
    QCOMPARE(traces.size(), 1);
    QFile trace(b.dir.filePath(traces[0]));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QVERIFY(trace.readAll().contains(U("调试=").toUtf8()));
    QCOMPARE(b.frm->DroppedTraces(), uint64_t{0});

    // A folder the trace cannot be written to changes nothing else.
    b.state->ProgramDir = b.dir.filePath("gone/").toStdString();
    b.Use("btn1");
    QCOMPARE(b.Cell(2, 14), U("数据返回正确"));
    QVERIFY(b.frm->DroppedTraces() > 0);
  }
};

QTEST_MAIN(ReadWindowTest)
#include "read_window_test.moc"
