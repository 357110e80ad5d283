// Start-up as the program runs it: the nine windows, the settings read when
// the main window shows, the language of the captions and its follow-up.
#include <QDate>

#include "core/settings_files.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsWithOnlyTheMainWindowVisible() {
    Bench bench;
    auto program = bench.Start();
    QVERIFY(program);
    QVERIFY(program->MainFrm->isVisible());
    QVERIFY(program->MainFrm->windowState() & Qt::WindowMaximized);
    for (QWidget* window : std::initializer_list<QWidget*>{
             program->OverallDetectionFrm.get(), program->FlowDetectionFrm.get(),
             program->ShowMessageFrm.get(), program->SetParaFrm.get(),
             program->ChannelStatusFrm.get(), program->ReadDataFrm.get(),
             program->ErrorInfoParaFrm.get(), program->OtherParaFrm.get()})
      QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    QCOMPARE(program->MainFrm->CurrentToolForm(), nullptr);
  }

  void ShowingTheMainWindowSetsTesterAndDate() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nMeterNum=7\n");
    auto program = bench.Start();
    const SystemSettings& s = bench.state->Settings;
    QCOMPARE(s.OperatorName, std::string("Test"));
    QCOMPARE(QString::fromStdString(s.TestDate), QDate::currentDate().toString("yyyy-MM-dd"));
    QCOMPARE(s.MeterNum, 7);
  }

  // Language 1 is English; any other value, even one out of range, Chinese.
  void CaptionsInTheLanguageOfTheFile() {
    for (const auto& [language, title, exit] : {std::tuple("1", "Qorvantis V2.02", "Exit(&X)"),
                                                std::tuple("2", "QorvantisV2.02", "退出(&X)")}) {
      Bench bench;
      bench.Write("sysinfo.ini", std::string("[BaseParam]\nLanguage=") + language + "\n");
      auto program = bench.Start();
      QCOMPARE(program->MainFrm->windowTitle(), QString(title));
      QCOMPARE(program->MainFrm->findChild<QAction*>("nExit")->text(), QString(exit));
    }
  }

  void LanguageChangeReachesTheMainWindow() {
    Bench bench;
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    QCOMPARE(main.windowTitle(), QString("QorvantisV2.02"));
    bench.state->Settings.Language = 1;  // as the settings window stores it
    QTRY_COMPARE(main.windowTitle(), QString("Qorvantis V2.02"));
    QCOMPARE(main.findChild<QAction*>("nMessageMonitor")->text(),
             QString("Information Monitoring"));
    QCOMPARE(main.LastLanguage(), 1);
    bench.state->Settings.Language = 0;
    QTRY_COMPARE(main.windowTitle(), QString("QorvantisV2.02"));
    QCOMPARE(main.findChild<QAction*>("nMessageMonitor")->text(), QString("信息监控"));
  }

  void ASavedLanguageComesBackAtTheNextStart() {
    Bench bench;
    {
      auto program = bench.Start();
      bench.state->Settings.Language = 1;
      QVERIFY(program->MainFrm->close());
    }
    bench.state = std::make_unique<SharedState>();
    bench.state->ProgramDir = bench.Dir();
    auto program = bench.Start();
    QCOMPARE(program->MainFrm->windowTitle(), QString("Qorvantis V2.02"));
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
