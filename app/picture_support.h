// What the picture programs share: starting the program in a scratch
// directory with the main window filling the screen, letting the windows
// paint, and saving a window with a title bar drawn on (Xvfb runs no window
// manager, so windows have none).
#pragma once

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "shell/main_frm.h"
#include "shell/program.h"

namespace qv::pictures {

// Lets the windows paint and the display server catch up.
inline void Settle(int ms = 300) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

inline bool Save(const QPixmap& picture, const QString& path) {
  const bool ok = picture.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// `picture` under a plain title bar showing `title`.
inline QPixmap Titled(const QPixmap& picture, const QString& title) {
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

inline QPixmap Window(QWidget& w) {
  return Titled(w.grab(), w.windowTitle());
}

// The program as it starts, its settings files in a scratch directory.
struct PictureProgram {
  QTemporaryDir scratch;
  SharedState state;
  std::unique_ptr<Program> program;
  QString out;  // where the pictures go
};

// Starts the program for `argv[1]` as the output directory; nothing (after
// a message) when the arguments or the start fail.
inline std::unique_ptr<PictureProgram> StartForPictures(int& argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return nullptr;
  }
  auto p = std::make_unique<PictureProgram>();
  p->out = QString::fromLocal8Bit(argv[1]);
  p->state.ProgramDir = p->scratch.path().toStdString() + "/";
  p->program = StartProgram(p->state, argc, argv);
  if (!p->program || !QDir().mkpath(p->out)) return nullptr;
  // Without a window manager nothing maximises the window: fill the screen.
  p->program->MainFrm->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  return p;
}

}  // namespace qv::pictures
