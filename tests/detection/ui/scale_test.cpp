// Both detection windows take their scale readings from bench-sim's scale,
// in each protocol, as if typed (the same values and messages; the records
// tell which); what the scale cannot give is told and enters nothing; Esc
// or an operation starting ends the wait.
#include <QTimer>
#include <cmath>

#include "flow_support.h"
#include "support/pty_peer.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

// Two meters and a scale speaking `protocol` (on TCP when `tcp`), 0.2 s runs.
template <typename Frm = TFlowDetectionFrm>
std::unique_ptr<BasicSimWindow<Frm>> ScaleBench(ScaleProtocol protocol, bool tcp = false,
                                                sim::ScaleFault fault = sim::ScaleFault::kNone) {
  return std::make_unique<BasicSimWindow<Frm>>(2, [&](sim::BenchOptions& o) {
    std::tie(o.scale, o.scale_fault, o.scale_fill) =
        std::tuple(protocol, fault, std::chrono::milliseconds(200));
    if (tcp) o.tcp_port = 0;
  });
}

// What the window shows of flow point 3: the weighing and every error.
template <typename Frm>
QStringList Shown(const BasicWindow<Frm>& w) {
  if constexpr (std::is_same_v<Frm, TOverallDetectionFrm>) {
    return w.Texts({"edtWeight", "edtVolume", "edtQ3BulkError1", "edtQ3BulkError2",
                    "edtQ3HeatError1", "edtQ3HeatError2"});
  }
  return w.Texts({"edtWeight", "edtVolume", "edtQ3Error1", "edtQ3Error2"});
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
    BasicWindow<Frm>& w = *b;
    const auto shows_scale = [&](const char* field) {  // to the gram
      return std::llround(w.Edit(field)->text().toDouble() * 1000) ==
             std::llround(b->bench->ScaleSettledKg() * 1000);
    };
    b->Select({0, 1});
    w.template Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    for (const auto& [field, text] : {std::pair{"edtEntreTerm", "80"}, {"edtExitTerm", "60"}}) {
      if (QLineEdit* edit = w.frm->template findChild<QLineEdit*>(field)) Type(edit, text);
    }
    Type(w.Edit("edtFluxTerm"), "20");
    // The live reading, stable at the rest of water in the tank; a final
    // reading below the initial one is told as when typed.
    auto* label = w.template Find<QLabel>("lblScale");
    QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith("  稳定"), 10000);
    Type(w.Edit("edtWeight0"), "900");
    QCOMPARE(w.Told([&] { b->Click("btnScaleFinal"); }), QStringList{"称末值不能小于称初值"});
    QVERIFY(shows_scale("edtWeight1"));
    // The initial reading of a point not weighed yet is no fault.
    Type(w.Edit("edtWeight1"), "0");
    w.boxes.texts.clear();
    b->Click("btnScaleInitial");
    QVERIFY(shows_scale("edtWeight0"));
    // The water runs; the operator presses once the reading moves.
    b->bench->StartScaleRun();
    QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith("  不稳定"), 10000);
    b->Click("btnScaleFinal");
    QVERIFY(shows_scale("edtWeight1"));
    b->Click(std::is_same_v<Frm, TOverallDetectionFrm> ? "btnFlow" : "BtnFlow");
    QCOMPARE(b->Lamp(1), kLime);
    const QStringList read = Shown(w);
    QVERIFY(!read.contains(QString()));
    QCOMPARE(w.frm->Sheet().Record(1, 2, "").Weighing, std::string(kWeighingScale));

    // The same readings typed (to four decimals: a text that changes) give
    // the same values; the records follow.
    for (const char* field : {"edtWeight0", "edtWeight1"})
      Type(w.Edit(field), QString::number(w.Edit(field)->text().toDouble(), 'f', 4));
    QCOMPARE(Shown(w), read);
    QCOMPARE(w.frm->Sheet().Record(1, 2, "").Weighing, std::string(kWeighingTyped));
    QCOMPARE(w.boxes.texts, QStringList());
  }

  // Presses btnScaleFinal over a typed final reading of 50 kg (`during` runs
  // while it waits): the field and the weight stay, one message tells `why`.
  void NothingEnters(
      Window& w, const QString& why, std::function<void()> during = [] {}) {
    Type(w.Edit("edtWeight1"), "50");
    PressDuring(w, "btnScaleFinal", std::move(during));
    const QString told = w.boxes.texts.join('|');
    QVERIFY2(w.boxes.texts.size() == 1 && told.startsWith("称末值：") && told.contains(why),
             qPrintable(told));
    QCOMPARE(w.Edit("edtWeight1")->text() + w.Edit("edtWeight")->text(), QString("5050"));
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

  void WhatTheScaleCannotGiveEntersNothing() {
    {
      Window w(2);  // no scale: typing is the way, and it works
      NothingEnters(w, "未设置秤");
      QCOMPARE(w.Find<QLabel>("lblScale")->text(), QString("无秤：参数设置中未设置秤设备"));
    }
    for (const auto& [fault, why] : {std::pair{sim::ScaleFault::kOverload, "秤超载"},
                                     {sim::ScaleFault::kSilent, "秤没有应答"}})
      NothingEnters(*ScaleBench(ScaleProtocol::kMtSics, false, fault), why);
    {
      // Never stable: Esc, a second press (a beep) or an operation started
      // ends the wait untold; else its 10 s do.
      const auto b = ScaleBench(ScaleProtocol::kSbi, false, sim::ScaleFault::kUnstable);
      Window& w = *b;
      auto* label = w.Find<QLabel>("lblScale");
      bool waiting = false;
      PressDuring(w, "btnScaleInitial", [&] {
        waiting = label->text().contains("Esc");
        QTest::keyClick(w.Find<QPushButton>("btnScaleInitial"), Qt::Key_Escape);
      });
      QVERIFY(waiting && !label->text().contains("Esc"));
      PressDuring(w, "btnScaleFinal", [&] {
        w.Find<QPushButton>("btnScaleInitial")->click();
        QTest::keyClick(w.Find<QPushButton>("btnScaleFinal"), Qt::Key_Escape);
      });
      QCOMPARE(w.beeps, 1);
      PressDuring(w, "btnScaleFinal", [&] { b->Click("BtnFlow"); });
      QCOMPARE(w.boxes.texts, QStringList());
      QCOMPARE(w.Edit("edtWeight0")->text() + w.Edit("edtWeight1")->text(), QString("00"));
      NothingEnters(w, "秤在 10 秒内没有稳定读数");
    }
    // A scale of the test's own: a reading in ounces, then the line lost.
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
};

QTEST_MAIN(ScaleTest)
#include "scale_test.moc"
