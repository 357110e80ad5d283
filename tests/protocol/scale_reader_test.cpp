// The scale reader against a scale played on a pseudo-terminal: what it
// asks, how it frames and decodes the replies, the waits and their ends,
// and a line that cannot be opened.
#include "protocol/scale_reader.h"

#include <gtest/gtest.h>
#include <termios.h>

#include "support/pty_peer.h"
#include "support/scale_events.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;

ScaleSettings On(const PtyPeer& peer, ScaleProtocol protocol) {
  ScaleSettings s;
  s.Device = peer.Path();
  s.Protocol = protocol;
  return s;
}

std::string Text(const Bytes& b) {
  return {b.begin(), b.end()};
}

bool Send(const PtyPeer& peer, std::string_view text) {
  return peer.Send(Bytes(text.begin(), text.end()));
}

// MT-SICS: SI is asked until the reading is stable; the moving reading on
// the way is reported as live status.
TEST(ScaleReader, MtSicsAsksUntilStable) {
  PtyPeer peer;
  test::ScaleEvents events;
  ScaleReader reader(On(peer, ScaleProtocol::kMtSics), events.Listener());
  const uint64_t id = reader.BeginWait(ScaleWaitKind::kStable, 20s);
  EXPECT_EQ(Text(peer.Receive(4)), "SI\r\n");
  ASSERT_TRUE(Send(peer, "S D      3.217 kg\r\n"));
  EXPECT_EQ(Text(peer.Receive(4)), "SI\r\n");
  ASSERT_TRUE(Send(peer, "S S    1234.5 g\r\n"));
  const std::optional<ScaleWaitResult> end = events.Ended(id);
  ASSERT_TRUE(end && end->Reading);
  EXPECT_EQ(end->End, ScaleWaitEnd::kTaken);
  EXPECT_DOUBLE_EQ(*end->Reading->MassKg, 1.2345);
  EXPECT_EQ(end->Line, "S S    1234.5 g");
  EXPECT_TRUE(events.SawStatus([](const ScaleStatus& s) {
    return s.Reading && s.Reading->State == ScaleState::kMoving && *s.Reading->MassKg == 3.217;
  }));
}

// SBI at 1200 7O1: the pseudo-terminal takes the speed and stays at 8 bits
// without parity, which is accepted; a reply without CR LF ends with the
// line's silence.
TEST(ScaleReader, SbiOnSevenBitLineAndReplyWithoutLineEnd) {
  PtyPeer peer;
  test::ScaleEvents events;
  ScaleReader reader(On(peer, ScaleProtocol::kSbi), events.Listener());
  const uint64_t id = reader.BeginWait(ScaleWaitKind::kStable, 20s);
  EXPECT_EQ(Text(peer.Receive(2)), "\x1bP");
  termios t{};
  ASSERT_EQ(tcgetattr(peer.Slave(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B1200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  ASSERT_TRUE(Send(peer, "N     -    0.250 kg "));
  const std::optional<ScaleWaitResult> end = events.Ended(id);
  ASSERT_TRUE(end && end->Reading);
  EXPECT_EQ(end->End, ScaleWaitEnd::kTaken);
  EXPECT_DOUBLE_EQ(*end->Reading->MassKg, -0.25);
}

// A stable wait ends at once on what no waiting mends; each end names it.
TEST(ScaleReader, StableWaitEndsOnOverloadUnderloadAndUnknownUnit) {
  const std::pair<std::string_view, ScaleWaitEnd> cases[] = {
      {"OL,GS,+9999.999kg\r\n", ScaleWaitEnd::kOverload},
      {"ST,NT,+0012.500oz\r\n", ScaleWaitEnd::kUnknownUnit},
  };
  for (const auto& [line, expected] : cases) {
    PtyPeer peer;
    test::ScaleEvents events;
    ScaleReader reader(On(peer, ScaleProtocol::kAscii), events.Listener());
    const uint64_t id = reader.BeginWait(ScaleWaitKind::kStable, 20s);
    ASSERT_TRUE(
        events.SawStatus([](const ScaleStatus& s) { return s.Link == ScaleLink::kConnected; }));
    ASSERT_TRUE(Send(peer, "US,NT,+0012.400kg\r\n"));
    ASSERT_TRUE(Send(peer, line));
    const std::optional<ScaleWaitResult> end = events.Ended(id);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->End, expected) << line;
  }
  PtyPeer peer;
  test::ScaleEvents events;
  ScaleReader reader(On(peer, ScaleProtocol::kMtSics), events.Listener());
  const uint64_t id = reader.BeginWait(ScaleWaitKind::kStable, 20s);
  peer.Receive(4);
  ASSERT_TRUE(Send(peer, "S -\r\n"));
  const std::optional<ScaleWaitResult> end = events.Ended(id);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->End, ScaleWaitEnd::kUnderload);
}

// A scale that never answers is silent; one that only moves gives no stable
// reading when the limit passes; a cancelled wait is never reported.
TEST(ScaleReader, SilentMovingAndCancelledWaits) {
  ScaleTimings quick;
  quick.Silent = 300ms;
  {
    PtyPeer peer;
    test::ScaleEvents events;
    ScaleReader reader(On(peer, ScaleProtocol::kMtSics), events.Listener(), quick);
    const std::optional<ScaleWaitResult> end =
        events.Ended(reader.BeginWait(ScaleWaitKind::kAny, 20s));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->End, ScaleWaitEnd::kSilent);
    EXPECT_TRUE(
        events.SawStatus([](const ScaleStatus& s) { return s.Link == ScaleLink::kSilent; }));
  }
  PtyPeer peer;
  test::ScaleEvents events;
  ScaleReader reader(On(peer, ScaleProtocol::kAscii), events.Listener());
  const uint64_t cancelled = reader.BeginWait(ScaleWaitKind::kStable, 20s);
  reader.CancelWait(cancelled);
  const uint64_t moving = reader.BeginWait(ScaleWaitKind::kStable, 500ms);
  ASSERT_TRUE(
      events.SawStatus([](const ScaleStatus& s) { return s.Link == ScaleLink::kConnected; }));
  ASSERT_TRUE(Send(peer, "US,NT,+0012.400kg\r\n"));
  const std::optional<ScaleWaitResult> end = events.Ended(moving);
  ASSERT_TRUE(end && end->Reading);
  EXPECT_EQ(end->End, ScaleWaitEnd::kNoStable);
  EXPECT_EQ(end->Reading->State, ScaleState::kMoving);
  const uint64_t any = reader.BeginWait(ScaleWaitKind::kAny, 20s);
  ASSERT_TRUE(Send(peer, "ST,NT,+0012.400kg\r\n"));
  ASSERT_TRUE(events.Ended(any));
  EXPECT_FALSE(events.WaitReported(cancelled));
}

TEST(ScaleReader, MissingDeviceIsNotConnectedWithTheReason) {
  ScaleSettings s;
  s.Device = "/dev/qv-no-such-scale";
  test::ScaleEvents events;
  ScaleReader reader(s, events.Listener());
  const std::optional<ScaleWaitResult> end =
      events.Ended(reader.BeginWait(ScaleWaitKind::kStable, 20s));
  ASSERT_TRUE(end);
  EXPECT_EQ(end->End, ScaleWaitEnd::kNotConnected);
  EXPECT_EQ(end->Problem, "设备/dev/qv-no-such-scale不存在");
  EXPECT_EQ(reader.Status().Link, ScaleLink::kNotConnected);
}

}  // namespace
}  // namespace qv
