// Both detection windows take their scale readings from the bench scale
// (bench-sim's, in each of its protocols, on a pseudo-terminal or TCP) as
// if they were typed: the same standard volume, errors and messages, the
// journal telling which; what the scale cannot give (no scale, an
// overload, no stable reading, silence, a unit that is no mass, a lost
// line) is told and leaves the field as it was; Esc or an operation
// starting ends the wait.
#include <QTimer>
#include <cmath>
#include <set>

#include "core/journal_store.h"
#include "flow_support.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

using namespace std::chrono_literals;

// A bench of two meters and a scale speaking `protocol` (on TCP lines when
// `tcp`) whose water runs in 0.2 s.
template <typename Frm>
std::unique_ptr<BasicSimWindow<Frm>> ScaleBench(ScaleProtocol protocol, bool tcp = false,
                                                sim::ScaleFault fault = sim::ScaleFault::kNone) {
  return std::make_unique<BasicSimWindow<Frm>>(2, [&](sim::BenchOptions& o) {
    o.scale = protocol;
    o.scale_fault = fault;
    o.scale_fill = 200ms;
    if (tcp) o.tcp_port = 0;
  });
}

// A field's number, to the gram.
int64_t Grams(const QLineEdit* edit) {
  return std::llround(edit->text().toDouble() * 1000);
}
int64_t Grams(double kg) {
  return std::llround(kg * 1000);
}

// What the window shows of flow point 3: the weighing and every error.
template <typename Frm>
QStringList Shown(const BasicWindow<Frm>& w) {
  QStringList texts{w.Edit("edtWeight")->text(), w.Edit("edtVolume")->text()};
  const bool heat = std::is_same_v<Frm, TOverallDetectionFrm>;
  for (const char* family : heat ? std::vector{"BulkError", "HeatError"} : std::vector{"Error"}) {
    for (int r = 1; r <= 2; ++r)
      texts << w.Edit(QString("edtQ3%1%2").arg(family).arg(r))->text();
  }
  return texts;
}

// The weighing of every current reading in the journal at `path`.
std::set<std::string> Weighings(ResultJournal& journal, const std::string& path) {
  if (!journal.WaitAcknowledged(journal.Taken(), 30s)) return {"not written"};
  std::string error;
  std::set<std::string> weighings;
  for (const ReadingRecord& r : QueryReadings(path, {}, error))
    weighings.insert(r.Weighing);
  return weighings;
}

// Presses `button` of `w` as the mouse does (the window active, the focus
// on the button); `during` runs once the wait for the scale has begun.
template <typename Frm>
void PressDuring(const BasicWindow<Frm>& w, const char* button, std::function<void()> during) {
  w.frm->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.frm.get()));
  auto* b = w.template Find<QPushButton>(button);
  b->setFocus();
  QTimer::singleShot(0, w.frm.get(), std::move(during));
  b->click();
}

}  // namespace

class ScaleTest : public QObject {
  Q_OBJECT

  template <typename Frm>
  void ReadFromTheScale(ScaleProtocol protocol, bool tcp) {
    const auto b = ScaleBench<Frm>(protocol, tcp);
    BasicWindow<Frm>& w = *b->w;
    test::TempDir dir;
    const std::string path = JournalPath(dir.Dir());
    auto& journal = w.state->Journal;
    journal = std::make_unique<ResultJournal>();
    QVERIFY(journal->Open(path));
    b->Select({0, 1});
    w.template Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    if (std::is_same_v<Frm, TOverallDetectionFrm>) {
      Type(w.Edit("edtEntreTerm"), "80");
      Type(w.Edit("edtExitTerm"), "60");
    }
    Type(w.Edit("edtFluxTerm"), "20");
    // The live reading, stable at the rest of water in the tank.
    auto* label = w.template Find<QLabel>("lblScale");
    QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith("  稳定"), 10000);
    const double rest = b->bench->ScaleSettledKg();
    b->Click("btnScaleInitial");
    // The point is not weighed yet: nothing to tell.
    QCOMPARE(w.boxes.texts, QStringList());
    QCOMPARE(Grams(w.Edit("edtWeight0")), Grams(rest));
    // The water runs; the operator presses once the reading moves.
    b->bench->StartScaleRun();
    QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith("  不稳定"), 10000);
    b->Click("btnScaleFinal");
    QCOMPARE(Grams(w.Edit("edtWeight1")), Grams(b->bench->ScaleSettledKg()));
    b->Click(std::is_same_v<Frm, TOverallDetectionFrm> ? "btnFlow" : "BtnFlow");
    QCOMPARE(b->Lamp(1), TFlowGrid::kLime);
    const QStringList read = Shown(w);
    QVERIFY(!read.contains(QString()));
    QVERIFY(Weighings(*journal, path) == std::set<std::string>{kWeighingScale});

    // The same readings typed give the same values; the journal follows.
    const QString initial = w.Edit("edtWeight0")->text(), final = w.Edit("edtWeight1")->text();
    Type(w.Edit("edtWeight0"), "0");
    Type(w.Edit("edtWeight1"), "0");
    Type(w.Edit("edtWeight1"), final);
    Type(w.Edit("edtWeight0"), initial);
    QCOMPARE(Shown(w), read);
    QCOMPARE(w.boxes.texts, QStringList());
    QVERIFY(Weighings(*journal, path) == std::set<std::string>{kWeighingTyped});
  }

  // Presses btnScaleFinal of `w` over a typed final reading of 50 kg;
  // `during` runs while the window waits. The field and the weight stay,
  // and one message tells `why`.
  template <typename Frm>
  void NothingEnters(
      BasicWindow<Frm>& w, const QString& why, std::function<void()> during = [] {}) {
    Type(w.Edit("edtWeight1"), "50");
    QCOMPARE(w.Edit("edtWeight")->text(), QString("50"));
    PressDuring(w, "btnScaleFinal", std::move(during));
    QCOMPARE(w.boxes.texts.size(), qsizetype{1});
    QVERIFY2(w.boxes.texts[0].startsWith("称末值：") && w.boxes.texts[0].contains(why),
             qPrintable(w.boxes.texts[0]));
    QCOMPARE(w.Edit("edtWeight1")->text(), QString("50"));
    QCOMPARE(w.Edit("edtWeight")->text(), QString("50"));
    QCOMPARE(w.frm->Sheet().Bench(0, BenchField::kFinal), 50.0);
    w.boxes.texts.clear();
  }

 private slots:
  void ReadingsFromTheScaleAreTakenAsTypedOnes() {
    ReadFromTheScale<TFlowDetectionFrm>(ScaleProtocol::kMtSics, false);
    ReadFromTheScale<TFlowDetectionFrm>(ScaleProtocol::kSbi, false);
    ReadFromTheScale<TFlowDetectionFrm>(ScaleProtocol::kAscii, true);
    ReadFromTheScale<TOverallDetectionFrm>(ScaleProtocol::kSbi, true);
  }

  void AFinalReadingBelowTheInitialOneIsTold() {
    const auto b = ScaleBench<TOverallDetectionFrm>(ScaleProtocol::kAscii);
    BasicWindow<TOverallDetectionFrm>& w = *b->w;
    Type(w.Edit("edtWeight0"), "900");
    w.boxes.texts.clear();
    b->Click("btnScaleFinal");
    QCOMPARE(w.boxes.texts, QStringList{"称末值不能小于称初值"});
    QCOMPARE(Grams(w.Edit("edtWeight1")), Grams(b->bench->ScaleSettledKg()));
    QCOMPARE(w.Edit("edtWeight")->text(), QString("0"));
  }

  void WhatTheScaleCannotGiveEntersNothing() {
    {
      // No scale: typing is the way, and it works.
      Window w(2);
      NothingEnters(w, "未设置秤");
      QCOMPARE(w.Find<QLabel>("lblScale")->text(), QString("无秤：参数设置中未设置秤设备"));
    }
    for (const auto& [fault, why] : {std::pair{sim::ScaleFault::kOverload, "秤超载"},
                                     {sim::ScaleFault::kSilent, "秤没有应答"},
                                     {sim::ScaleFault::kUnstable, "秤在 10 秒内没有稳定读数"}}) {
      const auto b = ScaleBench<TFlowDetectionFrm>(ScaleProtocol::kMtSics, false, fault);
      NothingEnters(*b->w, why);
    }
    // A scale on a line of the test's own: a reading in ounces, then the
    // line lost.
    test::PtyPeer peer;
    Window w(2, [&](SharedState& s) {
      s.Scale.Device = peer.Path();
      s.Scale.ChooseProtocol(ScaleProtocol::kAscii);
    });
    QTRY_COMPARE(w.Find<QLabel>("lblScale")->text(), QString("秤：已连接"));
    NothingEnters(w, "秤的单位“oz”无法换算为千克", [&] {
      const std::string_view ounces = "ST,GS,+0012.500oz\r\n";
      QVERIFY(peer.Send(Bytes(ounces.begin(), ounces.end())));
    });
    NothingEnters(w, "秤未连接（设备" + QString::fromStdString(peer.Path()) + "连接中断）",
                  [&] { peer.HangUp(); });
  }

  void EscEndsTheWaitAndNothingEnters() {
    const auto b =
        ScaleBench<TFlowDetectionFrm>(ScaleProtocol::kSbi, false, sim::ScaleFault::kUnstable);
    Window& w = *b->w;
    auto* label = w.Find<QLabel>("lblScale");
    QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith("不稳定"), 10000);
    Type(w.Edit("edtWeight0"), "3");
    w.boxes.texts.clear();
    bool waiting = false;
    PressDuring(w, "btnScaleInitial", [&] {
      waiting = label->text().contains("Esc");
      QTest::keyClick(w.Find<QPushButton>("btnScaleInitial"), Qt::Key_Escape);
    });
    QVERIFY(waiting);
    QVERIFY(!label->text().contains("Esc"));
    QCOMPARE(w.boxes.texts, QStringList());
    QCOMPARE(w.Edit("edtWeight0")->text(), QString("3"));
    // A second press while one waits beeps and waits for nothing.
    const int beeps = w.beeps;
    PressDuring(w, "btnScaleFinal", [&] {
      w.Find<QPushButton>("btnScaleInitial")->click();
      QTest::keyClick(w.Find<QPushButton>("btnScaleFinal"), Qt::Key_Escape);
    });
    QCOMPARE(w.beeps, beeps + 1);
    QCOMPARE(w.boxes.texts, QStringList());
    // An operation started meanwhile ends the wait too.
    PressDuring(w, "btnScaleFinal", [&] { b->Click("BtnFlow"); });
    QCOMPARE(w.boxes.texts, QStringList());
    QCOMPARE(w.Edit("edtWeight1")->text(), QString("0"));
  }
};

QTEST_MAIN(ScaleTest)
#include "scale_test.moc"
