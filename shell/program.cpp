#include "shell/program.h"

#include "protocol/routing.h"

namespace qv {

Program::~Program() {
  // The monitor goes before the log it is the sink of.
  feed.reset();
  state.Log.SetSink({});
}

int Program::Exec() {
  return QApplication::exec();
}

std::unique_ptr<Program> StartProgram(SharedState& state, int& argc, char** argv) {
  InitSystem(state);
  auto p = std::make_unique<Program>(state);
  if (!QApplication::instance()) p->app = std::make_unique<QApplication>(argc, argv);

  // Created in this order, the main window first; only it becomes visible.
  p->MainFrm = std::make_unique<TMainFrm>(state);
  p->OverallDetectionFrm = std::make_unique<TOverallDetectionFrm>(state);
  p->FlowDetectionFrm = std::make_unique<TFlowDetectionFrm>(state);
  p->ShowMessageFrm = std::make_unique<TShowMessageFrm>(state, p->MainFrm.get());
  p->SetParaFrm = std::make_unique<TSetParaFrm>(state);
  p->ChannelStatusFrm = std::make_unique<TChannelStatusFrm>(state);
  p->ReadDataFrm = std::make_unique<TReadDataFrm>(state);
  p->ErrorInfoParaFrm = std::make_unique<TErrorInfoParaFrm>();
  p->OtherParaFrm = std::make_unique<TOtherParaFrm>(state);
  // Once the monitor takes lines: what start-up logged (the data folder, a
  // port that would not open) waits for it.
  p->feed = std::make_unique<LogFeed>(state.Log);

  ToolForms tools;
  tools.FlowDetection = p->FlowDetectionFrm.get();
  tools.OverallDetection = p->OverallDetectionFrm.get();
  tools.SetPara = p->SetParaFrm.get();
  tools.OtherPara = p->OtherParaFrm.get();
  tools.ReadData = p->ReadDataFrm.get();
  p->MainFrm->SetWindows(tools, p->ShowMessageFrm.get());
  // "通道状态" of the settings window: a fresh snapshot, modal over the
  // main window, gone when it closes.
  TMainFrm* main = p->MainFrm.get();
  QObject::connect(p->SetParaFrm.get(), &TSetParaFrm::ChannelStatusRequested, main, [&state, main] {
    TChannelStatusFrm form(state, main);
    form.exec();
  });
  p->MainFrm->showMaximized();
  return p;
}

}  // namespace qv
