// The program: start-up, its windows and the event loop. `StartProgram`
// does everything the program does before its event loop, so a test runs
// the same start-up and gets the same windows.
#pragma once

#include <QApplication>
#include <memory>

#include "detection/ui/flow_detection_frm.h"
#include "detection/ui/overall_detection_frm.h"
#include "journal/core/journal.h"
#include "journal/ui/results_frm.h"
#include "reading/ui/read_data_frm.h"
#include "serial/port_slots.h"
#include "shell/channel_status_frm.h"
#include "shell/error_info_para_frm.h"
#include "shell/factory_upload.h"
#include "shell/log_feed.h"
#include "shell/main_frm.h"
#include "shell/show_message_frm.h"
#include "tools/ui/other_para_frm.h"
#include "tools/ui/set_para_frm.h"

namespace qv {

struct Program {
  explicit Program(SharedState& s) : state(s) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  // Runs the event loop until the main window closes; the exit code.
  int Exec();

  SharedState& state;
  // Made here unless the caller (a test) already has one.
  std::unique_ptr<QApplication> app;
  // The windows; they go in the reverse order of this list, the main window
  // (which may hold a docked tool window) last. The tool windows among them
  // are created from `ToolWindows()` (shell/tool_windows.cpp).
  std::unique_ptr<TMainFrm> MainFrm;
  std::unique_ptr<TOverallDetectionFrm> OverallDetectionFrm;
  std::unique_ptr<TFlowDetectionFrm> FlowDetectionFrm;
  std::unique_ptr<TShowMessageFrm> ShowMessageFrm;
  std::unique_ptr<TSetParaFrm> SetParaFrm;
  std::unique_ptr<TChannelStatusFrm> ChannelStatusFrm;
  std::unique_ptr<TReadDataFrm> ReadDataFrm;
  std::unique_ptr<TErrorInfoParaFrm> ErrorInfoParaFrm;
  std::unique_ptr<TOtherParaFrm> OtherParaFrm;
  std::unique_ptr<TResultsFrm> ResultsFrm;
  // The journal was opened here and is closed with the program.
  bool owns_journal = false;
  // The journal's sender to the factory server; it goes before the windows.
  std::unique_ptr<TFactoryUpload> Upload;
  // Log lines to the monitor; goes first.
  std::unique_ptr<LogFeed> feed;
};

// Start-up: `InitSystem(state)` (rows, settings files, ports), the
// application object (unless one exists), the windows once each, the main
// window first, the results journal opened (unless the state has one), its
// sender to the factory server set up, and the main window shown maximised.
std::unique_ptr<Program> StartProgram(SharedState& state, int& argc, char** argv);

// The text that tells the operator why results are not recorded.
QString JournalNotice(JournalProblem problem, const std::string& detail, bool english);

}  // namespace qv
