// The results journal under load, in two parts.
//
// Writing: 100,000 readings handed over from the event loop in bursts of 20
// (a full bench read at once), while a 5 ms probe timer measures how long
// the loop is held. Prints the records per second the writer stores and the
// longest stall of the loop.
//
// Reading: the results window over a journal of 1,000,000 readings (200,000
// meters of five flow points each), a meter's address typed into its filter
// key by key. Prints, per key, the time from the key to the first page of
// the list shown, and the longest stall of the loop meanwhile.
//
// The loop must never be held for more than 50 ms and a first page must
// come within 100 ms; the exit code says whether they were.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/sample_reading.h"
#include "journal/core/journal.h"
#include "journal/core/journal_store.h"
#include "journal/ui/results_frm.h"

namespace {

constexpr int kReadings = 100000;
constexpr int kBurst = 20;
constexpr int kProbeMs = 5;
constexpr qint64 kStallLimitMs = 50;
constexpr int kListed = 1000000;
constexpr qint64 kFirstPageLimitMs = 100;
// The address typed, one key at a time: a meter in the middle of the
// journal, older than most.
constexpr const char* kTyped = "2024012345";
// Time between two keys, as an operator types.
constexpr int kKeyMs = 150;

// The longest time the event loop was held, probed every kProbeMs, and the
// processor time the loop's thread spent in it: on a machine busy with other
// work the thread waits for a processor too, and the stall grows beyond what
// the program did.
class StallProbe {
 public:
  StallProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kProbeMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      const double cpu = ThreadMs();
      if (now - last_ - kProbeMs > longest_) {
        longest_ = now - last_ - kProbeMs;
        longest_cpu_ = cpu - last_cpu_;
      }
      last_ = now;
      last_cpu_ = cpu;
    });
  }
  void Start() {
    clock_.start();
    last_ = 0;
    last_cpu_ = ThreadMs();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  qint64 Longest() const { return longest_; }
  double LongestCpu() const { return longest_cpu_; }

 private:
  static double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
  }

  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
  double last_cpu_ = 0;
  double longest_cpu_ = 0;
};

qv::ReadingRecord Reading(int n) {
  return qv::benchmarks::SampleReading(n);
}

// A journal of `count` readings at `path`, written straight through the
// store in large transactions: 200,000 meters one after the other, five
// flow points each, ten seconds apart.
bool BuildJournal(const std::string& path, int count) {
  qv::JournalStore store;
  std::string error;
  if (!store.Open(path, error)) return false;
  const auto start = std::chrono::system_clock::from_time_t(1704067200);  // 2024-01-01
  std::vector<qv::ReadingRecord> batch;
  for (int n = 0; n < count; ++n) {
    qv::ReadingRecord r = Reading(n);
    r.Id = n + 1;
    r.Address = std::to_string(2024000001 + n / 5);
    r.FlowPoint = n % 5 + 1;
    r.Time = qv::JournalTime(start + std::chrono::seconds(10 * n));
    batch.push_back(std::move(r));
    if (batch.size() == 20000 || n + 1 == count) {
      if (!store.Write(batch, {}, error)) return false;
      batch.clear();
    }
  }
  return true;
}

// Writing: records per second and the longest stall.
bool Write(QApplication& app, const std::string& dir) {
  qv::ResultJournal journal;
  if (!journal.Open(qv::JournalPath(dir + "/"))) return false;
  QElapsedTimer clock;
  clock.start();
  StallProbe probe;
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
      probe.Stop();
      journal.WaitAcknowledged(kReadings, std::chrono::minutes(5));
      app.quit();
    });
  });
  probe.Start();
  producer.start();
  app.exec();
  const double seconds = clock.elapsed() / 1000.0;
  const uint64_t stored = journal.Acknowledged();
  std::printf("%llu readings stored in %.2f s: %.0f records per second\n",
              static_cast<unsigned long long>(stored), seconds, stored / seconds);
  std::printf("longest event-loop stall: %lld ms (probe every %d ms, limit %lld ms)\n",
              static_cast<long long>(probe.Longest()), kProbeMs,
              static_cast<long long>(kStallLimitMs));
  return stored == kReadings && probe.Longest() <= kStallLimitMs;
}

// Reading: the first page after each key and the longest stall.
bool Read(QApplication& app, const std::string& dir) {
  QElapsedTimer clock;
  clock.start();
  if (!BuildJournal(qv::JournalPath(dir + "/"), kListed)) return false;
  std::printf("journal of %d readings made in %.1f s\n", kListed, clock.elapsed() / 1000.0);
  qv::SharedState state;
  state.ProgramDir = dir + "/";
  qv::TResultsFrm window(state);
  window.resize(1366, 700);
  window.show();
  auto* address = window.findChild<QLineEdit*>("edtAddress");
  address->setFocus();
  StallProbe probe;
  std::vector<qint64> first_pages;
  qint64 pressed = -1;
  size_t typed = 0;
  const auto type = [&] {
    if (typed == std::char_traits<char>::length(kTyped)) {
      app.quit();
      return;
    }
    const QString key(QChar(kTyped[typed++]));
    pressed = clock.elapsed();
    QApplication::postEvent(address,
                            new QKeyEvent(QEvent::KeyPress, key[0].unicode(), Qt::NoModifier, key));
  };
  QObject::connect(&window, &qv::TResultsFrm::Listed, [&] {
    if (pressed < 0) return;
    first_pages.push_back(clock.elapsed() - pressed);
    pressed = -1;
    QTimer::singleShot(kKeyMs, type);
  });
  QTimer::singleShot(500, [&] {
    probe.Start();
    type();
  });
  app.exec();
  probe.Stop();
  std::printf("results window over %d readings, typing \"%s\": first page after each key", kListed,
              kTyped);
  for (qint64 ms : first_pages)
    std::printf(" %lld", static_cast<long long>(ms));
  const qint64 slowest =
      first_pages.empty() ? -1 : *std::max_element(first_pages.begin(), first_pages.end());
  std::printf(" ms (slowest %lld ms, limit %lld ms)\n", static_cast<long long>(slowest),
              static_cast<long long>(kFirstPageLimitMs));
  std::printf(
      "longest event-loop stall: %lld ms, the window's thread at work %.0f ms of it "
      "(limit %lld ms)\n",
      static_cast<long long>(probe.Longest()), probe.LongestCpu(),
      static_cast<long long>(kStallLimitMs));
  return first_pages.size() == std::char_traits<char>::length(kTyped) &&
         slowest <= kFirstPageLimitMs && probe.Longest() <= kStallLimitMs;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string dir = (std::filesystem::temp_directory_path() / "qv-journal-XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 2;
  std::error_code ec;
  for (const char* part : {"/write", "/read"})
    std::filesystem::create_directories(dir + part, ec);
  const bool written = Write(app, dir + "/write");
  const bool read = Read(app, dir + "/read");
  std::filesystem::remove_all(dir, ec);
  return written && read ? 0 : 1;
}
