// The windows' waits: the window stays live during a wait, and an
// interrupted wait returns at once.
#include <QTimer>

#include "support/window_support.h"
#include "ui/qt_event_pump.h"

using namespace qv;
using namespace std::chrono_literals;

class QtEventPumpTest : public QObject {
  Q_OBJECT

 private slots:
  // The third tick of a timer ends the wait (after ten seconds without
  // ticks it ends by itself, and the test fails); a zero wait serves what
  // is pending.
  void TimersRunDuringAWait() {
    QtEventPump pump;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (++ticks == 3) pump.Interrupt();
    });
    timer.start(10);
    pump.Pump(10s);
    QCOMPARE(ticks, 3);
    bool served = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { served = true; }, Qt::QueuedConnection);
    pump.Pump(0ms);
    QVERIFY(served);
  }

  void InterruptEndsTheRunningWaits() {
    QtEventPump pump;
    bool inner_returned = false;
    // A wait that serves an event starting another wait; both end.
    QTimer::singleShot(0, [&] {
      QTimer::singleShot(0, [&] { pump.Interrupt(); });
      pump.Pump(std::chrono::hours(1));
      inner_returned = true;
    });
    pump.Pump(std::chrono::hours(1));
    QVERIFY(inner_returned);
    QVERIFY(!pump.Pumping());
  }
};

QTEST_MAIN(QtEventPumpTest)
#include "qt_event_pump_test.moc"
