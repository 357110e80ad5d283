// The cycle on a real line (a pseudo-terminal playing two meters): a reply
// that comes late in its wait still counts, so its meter is never asked
// again, and the next request keeps the line's guard of silence after it.
#include <gtest/gtest.h>

#include <thread>

#include "protocol/operation_runner.h"
#include "protocol/routing.h"
#include "support/hex.h"
#include "support/pty_peer.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr OperationRow kEnter[] = {{1, "进入检定", Command::kEnterCalibration, 0, 0,
                                    Command::kEnterCalibration, Confirm::kReply, 0,
                                    ReplyLayout::kNone}};

// The request to meter n and its reply.
Bytes Request(int n) {
  return *BuildEnterCalibration(0, std::to_string(n));
}
Bytes Reply(int n) {
  return test::Complete("68 55 0" + std::to_string(n) + " 00 00 00 00 00 00 A4 05 01 10 01 01 00");
}

TEST(CycleLine, ALateReplyCountsAndTheNextRequestKeepsTheGuard) {
  test::PtyPeer line;
  SharedState s;
  s.Settings.MeterNum = 2;
  s.Settings.ReadAgainTimes = 3;
  s.Settings.CommWaitTimer = 1000;
  s.Settings.CommType = kCommSingle;
  s.PortDevices[1] = line.Path();
  for (int r = 0; r < 2; ++r) {
    s.Rows[r] = {std::to_string(r + 1), true, 1, 0, {}};
  }
  s.Slots.CreatePorts(s.PortDevices, s.Log);
  OpenMeterPorts(s);
  ASSERT_TRUE(s.Slots[1].PortOpen);

  // Meter 1 answers at the very end of its wait; meter 2 at once.
  Bytes heard;
  Clock::time_point reply_sent, next_heard;
  std::thread meters([&] {
    heard = line.Receive(Request(1).size());
    std::this_thread::sleep_for(950ms);
    line.Send(Reply(1));
    reply_sent = Clock::now();
    const Bytes next = line.Receive(Request(2).size());
    next_heard = Clock::now();
    heard.insert(heard.end(), next.begin(), next.end());
    line.Send(Reply(2));
  });

  HeadlessPump pump;
  BenchRun run(s, pump, kEnter);
  ASSERT_TRUE(run.Run(1));
  meters.join();
  s.Slots[1].Port->Close();

  EXPECT_EQ(run.LampOf(0), Lamp::Lime);
  EXPECT_EQ(run.LampOf(1), Lamp::Lime);
  // Meter 1 was asked once: what came after its request was meter 2's.
  Bytes expected = Request(1);
  const Bytes second = Request(2);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(test::ToHex(heard), test::ToHex(expected));
  EXPECT_GE(next_heard - reply_sent, 20ms);
}

}  // namespace
}  // namespace qv
