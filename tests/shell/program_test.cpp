// Start-up as the program runs it: the nine windows, the settings read when
// the main window shows, the language of the captions, and the files a
// close leaves behind.
#include <QDate>
#include <QMenu>

#include "core/settings_files.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::shell_test;

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsWithOnlyTheMainWindowVisible() {
    Bench bench;
    auto program = bench.Start();
    QVERIFY(program);
    QCOMPARE(program->MainFrm->objectName(), QString("MainFrm"));
    QVERIFY(program->MainFrm->isVisible());
    QVERIFY(program->MainFrm->windowState() & Qt::WindowMaximized);
    const std::vector<std::pair<QWidget*, const char*>> hidden = {
        {program->OverallDetectionFrm.get(), "OverallDetectionFrm"},
        {program->FlowDetectionFrm.get(), "FlowDetectionFrm"},
        {program->ShowMessageFrm.get(), "ShowMessageFrm"},
        {program->SetParaFrm.get(), "SetParaFrm"},
        {program->ChannelStatusFrm.get(), "ChannelStatusFrm"},
        {program->ReadDataFrm.get(), "ReadDataFrm"},
        {program->ErrorInfoParaFrm.get(), "ErrorInfoParaFrm"},
        {program->OtherParaFrm.get(), "OtherParaFrm"},
    };
    for (const auto& [window, name] : hidden) {
      QCOMPARE(window->objectName(), QString(name));
      QVERIFY2(!window->isVisible(), name);
    }
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

  void LanguageTwoInTheFileGivesChineseCaptions() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nLanguage=2\n");
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    QCOMPARE(main.windowTitle(), QString("QorvantisV2.02"));
    QCOMPARE(main.findChild<QAction*>("nSystem")->text(), QString("系统"));
    QCOMPARE(main.findChild<QAction*>("nExit")->text(), QString("退出(&X)"));
  }

  void EnglishFromTheFile() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nLanguage=1\n");
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    QCOMPARE(main.windowTitle(), QString("Qorvantis V2.02"));
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"nSystem", "System"},
        {"nSetPara", "Set Parameter"},
        {"N1", "Other Parameter"},
        {"N2", "Channel State"},
        {"nExit", "Exit(&X)"},
        {"nCheckMeter", "Detection"},
        {"nFlowDetection", "Flow Detection"},
        {"nTotalDetection", "Total Detection"},
        {"nReadDataM", "Meter Reading"},
        {"nReadData", "Meter Reading"},
        {"nMessage", "Information"},
        {"nMessageMonitor", "Information Monitoring"},
    };
    for (const auto& [name, caption] : captions) {
      auto* item = main.findChild<QAction*>(name);
      QVERIFY2(item, name);
      QCOMPARE(item->text(), QString(caption));
    }
    QVERIFY(main.findChild<QAction*>("N3")->isSeparator());
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

  void ClosingWithNoFilesCreatesBothWithEveryKey() {
    Bench bench;
    auto program = bench.Start();
    QVERIFY(program->MainFrm->close());
    QCOMPARE(bench.Entries(), QStringList({"comminfo.ini", "sysinfo.ini"}));

    const auto sys = IniKeys(bench.Read("sysinfo.ini"));
    QCOMPARE(sys.size(), size_t{1});
    QCOMPARE(sys.at("BaseParam").size(), 21);
    QCOMPARE(sys.at("BaseParam").first(), QString("CommProtocol"));
    QCOMPARE(sys.at("BaseParam").last(), QString("ReadAgainTimes"));

    const QByteArray comm = bench.Read("comminfo.ini");
    const auto keys = IniKeys(comm);
    QCOMPARE(keys.size(), size_t{2});
    QCOMPARE(keys.at("Comm").size(), 20);
    QCOMPARE(keys.at("Channel").size(), 20);
    for (const QByteArray& line : comm.split('\n')) {
      if (line.contains('=')) QCOMPARE(line.trimmed().split('=').at(1), QByteArray("0"));
    }
  }

  void ASavedLanguageComesBackAtTheNextStart() {
    Bench bench;
    {
      auto program = bench.Start();
      bench.state->Settings.Language = 1;
      QVERIFY(program->MainFrm->close());
    }
    bench.state = std::make_unique<SharedState>();
    bench.state->ProgramDir = bench.dir.path().toStdString() + "/";
    auto program = bench.Start();
    QCOMPARE(program->MainFrm->windowTitle(), QString("Qorvantis V2.02"));
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
