// The factory server under load: 100,000 readings of the results journal
// sent to a local PostgreSQL server (a throwaway cluster with fsync on, as
// in production, at a lower priority than the program, as a server on a
// machine of its own) by the program's sender, while the flow detection window
// keeps reading 20 simulated meters at 2400 baud and recording what they
// say. Prints the records per second the server acknowledged and the
// longest stall of the event loop (the largest gap between two firings of
// a 10 ms probe timer) with the handler behind it. The target is at least 5,000 records per second
// and no stall above 20 ms; the exit code says whether both were met.
//
// Runs on the offscreen platform unless a display is set.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/sample_reading.h"
#include "bench/stall_probe.h"
#include "detection/ui/flow_detection_frm.h"
#include "journal/core/journal.h"
#include "journal/core/journal_store.h"
#include "shell/factory_upload.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"
#include "support/pg_cluster.h"
#include "support/temp_files.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kMeters = 20;
constexpr int kProbeMs = 10;
constexpr qint64 kStallLimitMs = 20;
constexpr double kRateTarget = 5000;

qv::ReadingRecord Reading(int n) {
  qv::ReadingRecord r = qv::benchmarks::SampleReading(n);
  r.Time = "2024-03-01 08:00:00";
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qv::bench::TimedApplication app(argc, argv);
  // With fsync, as in production; below the program's priority, as the
  // factory's server on a machine of its own takes none of the bench PC's
  // time (QV_SERVER_OPTIONS=sync puts it beside the program instead).
  const char* server_options = std::getenv("QV_SERVER_OPTIONS");
  qv::test::PgCluster server(server_options ? server_options : "sync low");
  if (!server.Up()) {
    std::fprintf(stderr, "no PostgreSQL server could be started\n");
    return 2;
  }
  qv::sim::BenchOptions options;
  options.wiring = qv::sim::Wiring::kSingle;
  options.meter_count = kMeters;
  options.pacing = true;
  qv::sim::VirtualBench bench(options);
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    return 2;
  }
  bench.SetFlowPoint(3);

  qv::test::TempDir dir;
  const std::string path = qv::JournalPath(dir.Dir());
  {
    qv::ResultJournal earlier;  // a week of readings that never reached the server
    if (!earlier.Open(path)) return 2;
    for (int n = 0; n < kRecords; ++n)
      earlier.Record(Reading(n));
    if (!earlier.WaitAcknowledged(kRecords, std::chrono::minutes(5))) return 2;
  }
  qv::SharedState state;
  state.ProgramDir = dir.Dir();
  qv::SystemSettings& s = state.Settings;
  s.MeterNum = kMeters;
  s.FluxNum = 5;
  s.DN = 1;
  s.MeasurementLevel = 1;
  s.SetFlowPoints({50, 25, 250, 2500, 5000});
  s.StandardError = 1;
  s.ReadAgainTimes = 3;
  s.CommWaitTimer = 1000;
  s.FluidTerm = 20;
  s.BenchName = "Bench 1";
  if (!qv::sim::ConnectProgram(state, bench)) return 2;
  auto journal = std::make_unique<qv::ResultJournal>();
  if (!journal->Open(path)) return 2;
  state.Journal = std::move(journal);

  qv::TFlowDetectionFrm window(state);
  window.resize(1366, 680);
  window.show();
  window.findChild<QCheckBox*>("cbxAll1")->click();
  window.findChild<QComboBox*>("cbxFlux")->setCurrentIndex(2);
  auto* volume = window.findChild<QLineEdit*>("edtVolume");
  volume->setText("20");
  emit volume->textEdited(volume->text());

  // The window as the operator finds it: shown, laid out and painted.
  QEventLoop settle;
  QTimer::singleShot(500, &settle, &QEventLoop::quit);
  settle.exec();

  QElapsedTimer clock;
  qint64 uploaded_at = -1;
  qv::bench::StallProbe probe(app, kProbeMs);
  qv::TFactoryUpload* upload = nullptr;
  probe.on_fire = [&] {
    if (uploaded_at < 0 && upload && upload->Sender() &&
        upload->Sender()->Status().Uploaded >= kRecords) {
      uploaded_at = clock.elapsed();
    }
  };
  clock.start();
  probe.Start();
  // The server is set as the operator would set it; the sender starts.
  s.FactoryServer = server.ConnInfo();
  qv::TFactoryUpload sender(state, nullptr, nullptr);
  upload = &sender;
  int reads = 0;
  while (uploaded_at < 0 && reads < 20) {
    window.findChild<QPushButton*>("BtnFlow")->click();  // one read of every meter
    ++reads;
  }
  probe.Stop();
  const qv::UploadStatus status = sender.Sender()->Status();
  const double seconds = uploaded_at / 1000.0;
  const double rate = uploaded_at > 0 ? kRecords / seconds : 0;
  std::printf(
      "%d journal records acknowledged by the server in %.2f s: %.0f records per second "
      "(target %.0f)\n",
      kRecords, seconds, rate, kRateTarget);
  std::printf("meanwhile %d reads of %d meters; status at the end: uploaded %llu, waiting %llu\n",
              reads, kMeters, static_cast<unsigned long long>(status.Uploaded),
              static_cast<unsigned long long>(status.Waiting));
  const std::string bytes = server.Value(
      "SELECT pg_total_relation_size('qorvantis.readings') / count(*) FROM qorvantis.readings");
  std::printf("server storage: %s bytes per reading, indexes included\n", bytes.c_str());
  std::printf("longest event-loop stall: %lld ms (probe every %d ms, limit %lld ms)\n",
              static_cast<long long>(probe.Longest()), kProbeMs,
              static_cast<long long>(kStallLimitMs));
  std::printf("behind it: %s\n", qPrintable(probe.Behind()));
  state.Slots[1].Port->Close();
  return rate >= kRateTarget && probe.Longest() <= kStallLimitMs ? 0 : 1;
}
