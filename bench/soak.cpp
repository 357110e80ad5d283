// A soak: operations against the virtual bench over every wiring (one line,
// one line per meter, one line behind the channel switch), with faults
// injected into a share of the replies (silent, bad sum, missing end, split,
// noise, corrupted length; seeded, so a run can be repeated). Each
// operation is a bench read, an other-parameters read-back or a metering
// read over a random choice of rows. Every row's outcome is checked against
// what the bench knows it sent: a row that was sent a correct reply within
// its attempts ends lime (answered), any other served row red, a row not
// served stays as it was.
//
//   soak [operations [seed [fault-percent]]]      defaults 1000 1 10
//
// Prints the operations run, the rows checked, the wrong outcomes (each one
// described), the crashes (an operation that threw), the resident memory
// after the first operation and at the end, and the heap in use after the
// first wiring and after the last. Exits non-zero when an outcome was wrong,
// an operation crashed or either memory figure grew by more than 10 %.
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "detection/core/flow_detection_run.h"
#include "protocol/event_pump.h"
#include "reading/core/reading_run.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"
#include "tools/core/other_para_run.h"

namespace {

using namespace std::chrono_literals;
using qv::sim::Wiring;

constexpr int kMeters = 4;
constexpr Wiring kWirings[] = {Wiring::kSingle, Wiring::kMulti, Wiring::kChannel};
constexpr qv::sim::ProtocolVersion kVersions[kMeters] = {
    qv::sim::ProtocolVersion::kV201, qv::sim::ProtocolVersion::kV202,
    qv::sim::ProtocolVersion::kV203, qv::sim::ProtocolVersion::kV301};
constexpr int kOtherReads[] = {qv::kOtherReadUltrasonic, qv::kOtherReadAccFlow,
                               qv::kOtherReadPairing,    qv::kOtherReadHeatUnit,
                               qv::kOtherReadPipe,       qv::kOtherReadPtNo};

// The process's memory, measured so that only what is in use counts. The C
// library keeps freed memory for reuse and gives it back to the system only
// now and then; each wiring starts its own bench and port threads, and the
// bench keeps a bounded history of frames. Without the trim the resident figure rises with which
// threads ran and where freed blocks happen to lie, not with what the
// operations keep; with it, whatever stays allocated (a leak) still counts
// in full.
//
// The heap in use is the direct measure of what stays allocated, but the C
// library counts the freed blocks a thread keeps at hand for its next
// allocations (up to seven of each small size) as in use, and that store
// fills slowly over a run. So each wiring runs on a thread of its own, and
// the heap is measured once that thread has ended and handed its store
// back: after the first wiring and after the last, with every bench, port
// and program state gone. A leak of a few bytes an operation shows there.
struct Memory {
  long resident_kb = 0;
  long heap_kb = 0;
};

Memory MemoryInUse() {
  malloc_trim(0);
  Memory m;
  m.heap_kb = static_cast<long>(mallinfo2().uordblks / 1024);
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  m.resident_kb = resident * (sysconf(_SC_PAGESIZE) / 1024);
  return m;
}

double Growth(long first, long last) {
  return first > 0 ? 100.0 * static_cast<double>(last - first) / static_cast<double>(first) : 0;
}

struct Totals {
  int operations = 0;
  int rows = 0;
  int wrong = 0;
  int crashes = 0;
  std::array<int, 7> faults{};  // by ReplyFault
  std::optional<Memory> first;  // after the first operation
};

enum class Outcome { kUntouched, kLime, kRed };

const char* OutcomeText(Outcome o) {
  return o == Outcome::kLime ? "lime" : o == Outcome::kRed ? "red" : "untouched";
}

// One wiring: its own bench (meters of four protocol versions) and program
// state, `operations` operations.
void SoakWiring(Wiring wiring, int operations, uint64_t seed, double rate, Totals& t) {
  qv::sim::BenchOptions options;
  options.wiring = wiring;
  options.meter_count = kMeters;
  options.seed = seed;
  options.injected.rate = rate;
  options.injected.seed = seed * 7919 + static_cast<uint64_t>(wiring);
  for (qv::sim::ProtocolVersion v : kVersions) {
    qv::sim::MeterSetup meter;
    meter.protocol = v;
    options.meters.push_back(meter);
  }
  qv::sim::VirtualBench bench(options);
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    std::exit(2);
  }
  auto state = std::make_unique<qv::SharedState>();
  // Three attempts of one second each: a reply that comes at once is never
  // late, a split one (a 250 ms pause) neither.
  state->Settings.ReadAgainTimes = 3;
  state->Settings.CommWaitTimer = 1000;
  if (!qv::sim::ConnectProgram(*state, bench)) {
    std::fprintf(stderr, "cannot open the bench's lines\n");
    std::exit(2);
  }

  qv::HeadlessPump pump;
  qv::FlowDetectionRun flow(*state, pump);
  qv::OtherParaRun other(*state, pump);
  qv::ReadingRun reading(*state, pump);
  // The poll timer of whichever runner runs (the waits also scan at once
  // whenever bytes arrive).
  const auto poll = pump.AddTimer(1000ms, [&] {
    for (qv::OperationRunner* r :
         {static_cast<qv::OperationRunner*>(&flow), static_cast<qv::OperationRunner*>(&other),
          static_cast<qv::OperationRunner*>(&reading)})
      if (r->CurrentOperation() != 0) r->Cycle().ReadTimerTick();
  });
  for (qv::OperationRunner* r :
       {static_cast<qv::OperationRunner*>(&flow), static_cast<qv::OperationRunner*>(&other),
        static_cast<qv::OperationRunner*>(&reading)})
    r->on_poll_timers = [&](bool on) { pump.SetActive(poll, on); };

  std::mt19937_64 rng(seed + 1000 * static_cast<uint64_t>(wiring));
  for (int op = 0; op < operations; ++op) {
    std::array<bool, kMeters> served{};
    while (std::none_of(served.begin(), served.end(), [](bool b) { return b; })) {
      for (bool& s : served)
        s = rng() % 3 != 0;
    }
    for (int r = 0; r < kMeters; ++r)
      state->Rows[r].Selected = served[r];
    const int kind = static_cast<int>(rng() % 3);
    const size_t sent_before = bench.SentCount();
    std::string what;
    std::array<Outcome, kMeters> got{};
    try {
      if (kind == 0) {
        const int point = static_cast<int>(rng() % 5);
        what = "bench read " + std::to_string(point + 1);
        flow.Run(qv::FlowReadCode(point));
        for (int r = 0; r < kMeters; ++r) {
          const qv::Lamp l = flow.LampOf(r);
          got[r] = l == qv::Lamp::Lime  ? Outcome::kLime
                   : l == qv::Lamp::Red ? Outcome::kRed
                                        : Outcome::kUntouched;
        }
      } else if (kind == 1) {
        const int code = kOtherReads[rng() % std::size(kOtherReads)];
        what = "other parameters " + std::to_string(code);
        other.RunOperation(code);
        for (int r = 0; r < kMeters; ++r) {
          const qv::Lamp l = other.LampOf(r);
          got[r] = l == qv::Lamp::Lime  ? Outcome::kLime
                   : l == qv::Lamp::Red ? Outcome::kRed
                                        : Outcome::kUntouched;
        }
      } else {
        what = "metering data";
        reading.FillFromSelection();
        std::vector<size_t> all;
        for (size_t i = 0; i < reading.rows.size(); ++i) {
          reading.rows[i].Version =
              std::string(qv::sim::ProtocolText(kVersions[reading.rows[i].Position]));
          all.push_back(i);
        }
        reading.ReadData(all);
        for (const qv::ReadingRow& row : reading.rows)
          got[row.Position] = row.State == qv::RowState::Answered ? Outcome::kLime : Outcome::kRed;
      }
    } catch (const std::exception& e) {
      ++t.crashes;
      std::printf("crash: %s %s, operation %d: %s\n",
                  std::string(qv::sim::WiringText(wiring)).c_str(), what.c_str(), op, e.what());
      continue;
    }
    ++t.operations;
    // The monitor takes the log's lines as they come; here they are read
    // and let go, so the log's bounded queue is not counted as growth.
    state->Log.TakePending();
    if (!t.first) t.first = MemoryInUse();

    std::array<bool, kMeters> correct{};
    std::array<std::string, kMeters> sent;
    for (const qv::sim::SentReply& s : bench.SentSince(sent_before)) {
      ++t.faults[static_cast<size_t>(s.fault)];
      if (s.meter < 0) continue;
      correct[s.meter] = correct[s.meter] || qv::sim::DeliversCorrectReply(s.fault);
      sent[s.meter] += std::string(sent[s.meter].empty() ? "" : ", ") +
                       std::string(qv::sim::ReplyFaultText(s.fault));
    }
    for (int r = 0; r < kMeters; ++r) {
      const Outcome want = !served[r]   ? Outcome::kUntouched
                           : correct[r] ? Outcome::kLime
                                        : Outcome::kRed;
      if (served[r]) ++t.rows;
      if (got[r] == want) continue;
      ++t.wrong;
      std::printf("wrong: %s wiring, operation %d (%s), row %d: %s, expected %s; replies: %s\n",
                  std::string(qv::sim::WiringText(wiring)).c_str(), op, what.c_str(), r + 1,
                  OutcomeText(got[r]), OutcomeText(want),
                  sent[r].empty() ? "none" : sent[r].c_str());
    }
  }
  for (int n = 1; n <= qv::kPortCount; ++n) {
    if (state->Slots[n].PortOpen) state->Slots[n].Port->Close();
  }
}

}  // namespace

int main(int argc, char** argv) {
  // One heap for every thread: an arena of its own for each thread would
  // stay, with its bookkeeping counted as in use, after the thread ended.
  mallopt(M_ARENA_MAX, 1);
  const int operations = argc > 1 ? std::atoi(argv[1]) : 1000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const double percent = argc > 3 ? std::atof(argv[3]) : 10;
  if (operations < 1 || percent < 0 || percent > 100) {
    std::fprintf(stderr, "usage: soak [operations [seed [fault-percent]]]\n");
    return 2;
  }
  Totals t;
  const auto start = std::chrono::steady_clock::now();
  const int wirings = static_cast<int>(std::size(kWirings));
  long first_heap_kb = 0;
  for (int w = 0; w < wirings; ++w) {
    // The operations shared out: 334, 333, 333 of 1000.
    const int share = operations / wirings + (w < operations % wirings ? 1 : 0);
    std::thread([&] { SoakWiring(kWirings[w], share, seed, percent / 100, t); }).join();
    if (w == 0) first_heap_kb = MemoryInUse().heap_kb;
  }
  const Memory last = MemoryInUse();
  const Memory first = t.first.value_or(last);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int replies = 0;
  for (int n : t.faults)
    replies += n;
  std::printf("operations run: %d (wirings single, multi, channel; %d meters each)\n", t.operations,
              kMeters);
  std::printf("replies: %d, faults injected:", replies);
  for (size_t f = 1; f < t.faults.size(); ++f) {
    std::printf(" %s %d%s",
                std::string(qv::sim::ReplyFaultText(static_cast<qv::sim::ReplyFault>(f))).c_str(),
                t.faults[f], f + 1 < t.faults.size() ? "," : "\n");
  }
  std::printf("rows checked: %d\n", t.rows);
  std::printf("wrong outcomes: %d\n", t.wrong);
  std::printf("crashes: %d\n", t.crashes);
  const double growth = Growth(first.resident_kb, last.resident_kb);
  const double heap_growth = Growth(first_heap_kb, last.heap_kb);
  std::printf("resident memory: %ld kB after the first operation, %ld kB at the end (%+.1f %%)\n",
              first.resident_kb, last.resident_kb, growth);
  std::printf("heap in use: %ld kB after the first wiring, %ld kB after the last (%+.1f %%)\n",
              first_heap_kb, last.heap_kb, heap_growth);
  std::printf("seconds: %.0f\n", seconds);
  return t.wrong == 0 && t.crashes == 0 && growth <= 10 && heap_growth <= 10 ? 0 : 1;
}
