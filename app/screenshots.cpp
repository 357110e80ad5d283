// Saves a picture of every window of the program in both languages, for
// checking captions by eye and for the README. Run it on a real display (an
// Xvfb server is enough; scripts/screenshots does that):
//
//   qorvantis-screenshots OUTDIR
//
// It starts the program as usual in a scratch program directory, so no
// settings file of a real bench is touched.
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "shell/program.h"

namespace {

using namespace qv;

// Lets the windows paint and the display server catch up.
void Settle() {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(const QPixmap& picture, const QString& path) {
  const bool ok = picture.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// The whole screen: popup menus are windows of their own.
QPixmap Screen() {
  return QGuiApplication::primaryScreen()->grabWindow(0);
}

// Xvfb runs no window manager, so windows have no title bar: the picture
// gets a plain one showing the window's title.
QPixmap Titled(const QPixmap& picture, const QString& title) {
  constexpr int kBar = 26;
  QPixmap framed(picture.width(), picture.height() + kBar);
  framed.fill(QColor(0x3c, 0x4a, 0x5e));
  QPainter painter(&framed);
  painter.setPen(Qt::white);
  painter.drawText(QRect(8, 0, picture.width() - 16, kBar), Qt::AlignVCenter | Qt::AlignLeft,
                   title);
  painter.drawPixmap(0, kBar, picture);
  return framed;
}

QPixmap Window(QWidget& w) {
  return Titled(w.grab(), w.windowTitle());
}

bool Shoot(Program& p, const QString& out, const char* lang) {
  bool ok = true;
  TMainFrm& main = *p.MainFrm;
  main.ApplyLanguage();
  // A docked tool window takes its captions when it is shown again.
  if (TToolForm* docked = main.CurrentToolForm()) docked->hide();
  Settle();

  // The main window with each menu dropped down.
  const std::pair<const char*, const char*> menus[] = {{"nSystem", "system"},
                                                       {"nCheckMeter", "detection"},
                                                       {"nReadDataM", "reading"},
                                                       {"nMessage", "information"}};
  for (const auto& [name, file] : menus) {
    auto* menu = main.findChild<QMenu*>(name);
    QMenuBar* bar = main.menuBar();
    const QRect item = bar->actionGeometry(menu->menuAction());
    menu->popup(bar->mapToGlobal(item.bottomLeft()));
    Settle();
    ok &= Save(Titled(Screen(), main.windowTitle()),
               QString("%1/main-%2-%3.png").arg(out, lang, file));
    menu->hide();
  }

  // Each tool window docked.
  const std::pair<const char*, const char*> tools[] = {{"nFlowDetection", "flow-detection"},
                                                       {"nTotalDetection", "overall-detection"},
                                                       {"nSetPara", "set-para"},
                                                       {"N1", "other-para"},
                                                       {"nReadData", "read-data"}};
  for (const auto& [name, file] : tools) {
    main.findChild<QAction*>(name)->trigger();
    Settle();
    ok &= Save(Window(main), QString("%1/tool-%2-%3.png").arg(out, file, lang));
  }

  // The monitor with a few lines of a run.
  TShowMessageFrm& monitor = *p.ShowMessageFrm;
  main.findChild<QAction*>("nMessageMonitor")->trigger();
  const uint8_t frame[] = {0xFE, 0xFE, 0xFE, 0x68, 0x20, 0x01, 0x00, 0x00,
                           0x24, 0x20, 0x00, 0x00, 0x01, 0x03, 0x90, 0x1F};
  p.state.Log.Operation(1, "开始");
  p.state.Log.FrameSent(frame);
  p.state.Log.BytesReceived(frame);
  p.state.Log.OperationFinished("开始");
  Settle();
  ok &= Save(Window(monitor), QString("%1/monitor-%2.png").arg(out, lang));
  monitor.hide();

  // A channel-status snapshot: channels 1..8 confirmed, row 1 on an open port.
  for (int c = 0; c < 8; ++c)
    p.state.ChannelState[c] = 1;
  {
    TChannelStatusFrm status(p.state, &main);
    status.setModal(false);
    status.show();
    Settle();
    ok &= Save(Window(status), QString("%1/channel-status-%2.png").arg(out, lang));
  }

  p.ErrorInfoParaFrm->show();
  Settle();
  ok &= Save(Window(*p.ErrorInfoParaFrm), QString("%1/error-info-%2.png").arg(out, lang));
  p.ErrorInfoParaFrm->hide();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir scratch;
  SharedState state;
  state.ProgramDir = scratch.path().toStdString() + "/";
  auto program = StartProgram(state, argc, argv);
  if (!program || !QDir().mkpath(out)) return 1;
  // Without a window manager nothing maximises the window: fill the screen.
  program->MainFrm->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    ok &= Shoot(*program, out, lang);
  }
  return ok ? 0 : 1;
}
