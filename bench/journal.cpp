// The results journal under load: 100,000 readings handed over from the
// event loop in bursts of 20 (a full bench read at once), while a 5 ms probe
// timer measures how long the loop is held. Prints the records per second
// the writer stores and the longest stall of the loop; the loop must never
// be held for more than 50 ms, and the exit code says whether it was.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/journal.h"
#include "core/journal_store.h"

namespace {

constexpr int kReadings = 100000;
constexpr int kBurst = 20;
constexpr int kProbeMs = 5;
constexpr qint64 kStallLimitMs = 50;

qv::ReadingRecord Reading(int n) {
  qv::ReadingRecord r;
  r.Window = qv::kFlowWindow;
  r.Tester = "Test";
  r.Dn = 20;
  r.Level = 2;
  r.StandardError = 1;
  r.Address = std::to_string(2024000000 + n % 20 + 1);
  r.Row = n % 20 + 1;
  r.FlowPoint = 3;
  r.Flow = 250;
  r.StandardVolume = 20.0;
  r.MeterVolume = 20.0 + (n % 50) / 100.0;
  r.VolumeError = (n % 50) / 20.0;
  r.VolumeLimit = 2.0;
  r.Verdict = n % 50 > 40 ? qv::kVerdictFail : qv::kVerdictPass;
  r.Inlet = 80;
  r.Outlet = 60;
  r.Coefficients = {10000, 10000, 10000, 10000, std::nullopt};
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string dir = (std::filesystem::temp_directory_path() / "qv-journal-XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 2;
  qv::ResultJournal journal;
  if (!journal.Open(qv::JournalPath(dir + "/"))) return 2;

  QElapsedTimer clock;
  clock.start();
  qint64 last_probe = 0;
  qint64 longest = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(kProbeMs);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last_probe - kProbeMs);
    last_probe = now;
  });
  int sent = 0;
  QTimer producer;
  producer.setInterval(0);
  QObject::connect(&producer, &QTimer::timeout, [&] {
    for (int i = 0; i < kBurst && sent < kReadings; ++i)
      journal.Record(Reading(sent++));
    if (sent < kReadings) return;
    producer.stop();
    QTimer::singleShot(0, &app, [&] {
      // Waiting for the last commit is the bench's business, not the
      // program's: the loop stops being probed here.
      probe.stop();
      journal.WaitAcknowledged(kReadings, std::chrono::minutes(5));
      app.quit();
    });
  });
  last_probe = clock.elapsed();
  probe.start();
  producer.start();
  app.exec();
  const double seconds = clock.elapsed() / 1000.0;
  const uint64_t stored = journal.Acknowledged();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::printf("%llu readings stored in %.2f s: %.0f records per second\n",
              static_cast<unsigned long long>(stored), seconds, stored / seconds);
  std::printf("longest event-loop stall: %lld ms (probe every %d ms, limit %lld ms)\n",
              static_cast<long long>(longest), kProbeMs, static_cast<long long>(kStallLimitMs));
  return stored == kReadings && longest <= kStallLimitMs ? 0 : 1;
}
