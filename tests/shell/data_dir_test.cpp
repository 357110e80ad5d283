// An installed program: started from a folder it may not write, with a
// writable home, it keeps its files in the user's data folder, which its
// first start fills with the settings found beside the program, and the
// next start reads them back from there. The log says which folder is used.
#include <sys/stat.h>

#include <QPlainTextEdit>
#include <cstdlib>
#include <filesystem>

#include "core/data_dir.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

// Starts the program in `bench`'s folder with a fresh shared state, shows
// the monitor, edits MeterNum to `meter_num` and closes the program; what
// it found: its data folder, MeterNum as read and the monitor's first line.
std::string StartAndClose(Bench& bench, int32_t meter_num) {
  bench.state = std::make_unique<SharedState>();
  bench.state->ProgramDir = bench.Dir();
  auto program = bench.Start();
  SharedState& s = *bench.state;
  const std::string found = s.DataFolder() + "|" + std::to_string(s.Settings.MeterNum);
  program->ShowMessageFrm->show();
  const QString first =
      program->ShowMessageFrm->findChild<QPlainTextEdit*>("mmInfo")->toPlainText().section('\n', 0,
                                                                                           0);
  s.Settings.MeterNum = meter_num;
  // A save that fails shows its message: closed, so the child ends.
  CloseNextModal([](QWidget*) {});
  if (!program->MainFrm->close()) return "close refused";
  return found + "|" + first.section(']', 1).toStdString();
}

}  // namespace

class DataDirTest : public QObject {
  Q_OBJECT

 private slots:
  void ReadOnlyProgramFolderKeepsTheFilesInTheUsersDataFolder() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nMeterNum=7\n");
    bench.Write("comminfo.ini", "[Comm]\n0=0\n");
    const std::string before = bench.Read("sysinfo.ini").toStdString();
    TempDir home;
    // The child may not write the program's folder: read-only, and run as
    // an unprivileged user when the tests run as root. It owns nothing of
    // the home, which it may write all the same.
    QCOMPARE(::chmod(bench.Dir().c_str(), 0555), 0);
    QCOMPARE(::chmod(home.Dir().c_str(), 0777), 0);
    const std::string data = home.Dir() + ".local/share/qorvantis/";

    const std::string runs = RunInChild(
        [&] {
          ::setenv("HOME", home.Dir().c_str(), 1);
          ::unsetenv("XDG_DATA_HOME");
          const std::string first = StartAndClose(bench, 9);
          return first + "\n" + StartAndClose(bench, 9);
        },
        {.unprivileged = true});

    QCOMPARE(QString::fromStdString(runs),
             QString::fromStdString(
                 data + "|7| 数据文件夹：" + data +
                 "（程序所在文件夹不可写，已从程序所在文件夹复制sysinfo.ini、comminfo.ini）\n" +
                 data + "|9| 数据文件夹：" + data + "（程序所在文件夹不可写）"));
    QVERIFY(ReadFile(data + "sysinfo.ini").find("MeterNum=9") != std::string::npos);
    QCOMPARE(IniFile::Load(data + "comminfo.ini").Keys("Comm").size(), size_t{20});
    // Beside the program nothing changed.
    QCOMPARE(bench.Listing(), std::string("comminfo.ini;sysinfo.ini;"));
    QCOMPARE(bench.Read("sysinfo.ini").toStdString(), before);
  }

  // Where the user's data folder is, by the XDG rule.
  void UserDataFolderFollowsTheXdgRule() {
    struct Case {
      const char* xdg;
      const char* home;
      std::string folder;
    };
    for (const Case& c :
         {Case{"/data", "/home/u", "/data/qorvantis/"},
          Case{"relative", "/home/u", "/home/u/.local/share/qorvantis/"},
          Case{"", "/home/u/", "/home/u/.local/share/qorvantis/"}, Case{nullptr, nullptr, ""}}) {
      const std::string folder = UserDataDir(
          [&](const char* name) { return std::string(name) == "XDG_DATA_HOME" ? c.xdg : c.home; });
      QCOMPARE(folder, c.folder);
    }
  }
};

QTEST_MAIN(DataDirTest)
#include "data_dir_test.moc"
