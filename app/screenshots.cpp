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

#include "app/picture_support.h"
#include "shell/program.h"
#include "shell/tool_windows.h"

namespace {

using namespace qv;
using namespace qv::pictures;

// The whole screen: popup menus are windows of their own.
QPixmap Screen() {
  return QGuiApplication::primaryScreen()->grabWindow(0);
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
  for (const ToolWindow& w : ToolWindows()) {
    main.findChild<QAction*>(w.item.object)->trigger();
    Settle();
    ok &= Save(Window(main), QString("%1/tool-%2-%3.png").arg(out, w.picture, lang));
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
  const auto p = pictures::StartForPictures(argc, argv);
  if (!p) return 1;
  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    p->state.Settings.Language = language;
    ok &= Shoot(*p->program, p->out, lang);
  }
  return ok ? 0 : 1;
}
