// The program's scale reader against the virtual bench's scale: for each
// protocol over loopback TCP, the readings while a run fills the tank and
// the stable reading at the delivered mass; on a pseudo-terminal, a scale
// that never settles and the run a StartTest begins. (The overloaded and the
// silent scale: tests/cli.)
#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "sim/lib/virtual_bench.h"
#include "sim/lib/water.h"
#include "support/pty_peer.h"
#include "support/scale_events.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// A bench of `meters` meters with a scale, over TCP or a pseudo-terminal,
// and the program's reader of the scale.
struct ScaleBench {
  ScaleBench(ScaleProtocol protocol, bool tcp, int meters = 1) {
    sim::BenchOptions o;
    o.meter_count = meters;
    o.scale = protocol;
    o.scale_fill = 300ms;
    if (tcp) o.tcp_port = 0;
    bench = std::make_unique<sim::VirtualBench>(o);
    std::string error;
    EXPECT_TRUE(bench->Start(error)) << error;
    reader = std::make_unique<ScaleReader>(test::ScaleOn(bench->ScaleDevicePath(), protocol),
                                           events.Listener());
  }
  std::optional<ScaleWaitResult> Wait(ScaleWaitKind kind, std::chrono::milliseconds limit = 10s) {
    return events.Ended(reader->BeginWait(kind, limit));
  }

  std::unique_ptr<sim::VirtualBench> bench;
  test::ScaleEvents events;
  std::unique_ptr<ScaleReader> reader;
};

double Mass(const std::optional<ScaleWaitResult>& w) {
  return w && w->Reading && w->Reading->MassKg ? *w->Reading->MassKg : -1;
}

TEST(SimScale, EveryProtocolRisesMovesAndSettlesAtTheDeliveredMass) {
  for (const ScaleProtocol protocol :
       {ScaleProtocol::kMtSics, ScaleProtocol::kSbi, ScaleProtocol::kAscii}) {
    SCOPED_TRACE(ScaleProtocolName(protocol));
    ScaleBench b(protocol, true);
    const double before = b.bench->ScaleSettledKg();
    EXPECT_NEAR(Mass(b.Wait(ScaleWaitKind::kStable)), before, 1e-9);
    b.reader->SetLive(true);
    b.bench->SetFlowPoint(2);
    EXPECT_TRUE(b.events.SawStatus([&](const ScaleStatus& s) {
      return s.Reading && s.Reading->State == ScaleState::kMoving && *s.Reading->MassKg > before;
    }));
    const std::optional<ScaleWaitResult> after = b.Wait(ScaleWaitKind::kStable);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->End, ScaleWaitEnd::kTaken);
    const sim::BenchConditions c = b.bench->Conditions();
    EXPECT_NEAR(Mass(after) - before, sim::MassKg(c.reference_litres[1], c.fluid_c), 0.0005);
    EXPECT_NEAR(Mass(after), b.bench->ScaleSettledKg(), 1e-9);
  }
}

TEST(SimScale, UnstableScaleNeverSettles) {
  ScaleBench b(ScaleProtocol::kSbi, false);
  b.bench->SetScaleFault(sim::ScaleFault::kUnstable);
  EXPECT_EQ(b.Wait(ScaleWaitKind::kStable, 1500ms)->End, ScaleWaitEnd::kNoStable);
}

// The first StartTest lets the current point's water run; the same start
// sent to the next meter belongs to that run.
TEST(SimScale, FirstStartTestBeginsOneRun) {
  ScaleBench b(ScaleProtocol::kMtSics, false, 2);
  test::PtyPeer line(b.bench->DevicePaths()[0]);
  const double before = b.bench->ScaleSettledKg();
  for (const char* address : {"2024000001", "2024000002"}) {
    const size_t heard = b.bench->ReceivedCount();
    const std::optional<Bytes> start = BuildRequest(Command::kStartTest, {.address = address});
    ASSERT_TRUE(start && line.Send(*start));
    ASSERT_TRUE(b.bench->WaitReceived(heard + 1, 10s));
  }
  const sim::BenchConditions c = b.bench->Conditions();
  EXPECT_NEAR(b.bench->ScaleSettledKg() - before, sim::MassKg(c.reference_litres[0], c.fluid_c),
              0.0005);
}

}  // namespace
}  // namespace qv
