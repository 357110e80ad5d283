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

struct PtyScale {
  explicit PtyScale(ScaleProtocol protocol, ScaleTimings timings = {})
      : reader(test::ScaleOn(peer.Path(), protocol), events.Listener(), timings) {}
  std::string Heard(size_t count) {
    const Bytes b = peer.Receive(count);
    return {b.begin(), b.end()};
  }
  bool Say(std::string_view text) { return peer.Send(Bytes(text.begin(), text.end())); }
  std::optional<ScaleWaitResult> Wait(ScaleWaitKind kind, std::chrono::milliseconds limit = 20s) {
    return events.Ended(reader.BeginWait(kind, limit));
  }

  test::PtyPeer peer;
  test::ScaleEvents events;
  ScaleReader reader;
};

// MT-SICS: SI is asked until the reading is stable; the moving reading on
// the way is reported as live status.
TEST(ScaleReader, MtSicsAsksUntilStable) {
  PtyScale s(ScaleProtocol::kMtSics);
  const uint64_t id = s.reader.BeginWait(ScaleWaitKind::kStable, 20s);
  EXPECT_EQ(s.Heard(4), "SI\r\n");
  ASSERT_TRUE(s.Say("S D      3.217 kg\r\n"));
  EXPECT_EQ(s.Heard(4), "SI\r\n");
  ASSERT_TRUE(s.Say("S S    1234.5 g\r\n"));
  const std::optional<ScaleWaitResult> end = s.events.Ended(id);
  ASSERT_TRUE(end && end->Reading);
  EXPECT_EQ(std::tuple(end->End, *end->Reading->MassKg, end->Line),
            std::tuple(ScaleWaitEnd::kTaken, 1.2345, std::string("S S    1234.5 g")));
  EXPECT_TRUE(s.events.SawStatus([](const ScaleStatus& st) {
    return st.Reading && st.Reading->State == ScaleState::kMoving && *st.Reading->MassKg == 3.217;
  }));
}

// SBI at 1200 7O1: the pseudo-terminal takes the speed and stays at 8 bits
// without parity, which is accepted; a reply without CR LF ends with the
// line's silence.
TEST(ScaleReader, SbiOnSevenBitLineAndReplyWithoutLineEnd) {
  PtyScale s(ScaleProtocol::kSbi);
  const uint64_t id = s.reader.BeginWait(ScaleWaitKind::kStable, 20s);
  EXPECT_EQ(s.Heard(2), "\x1bP");
  termios t{};
  ASSERT_EQ(tcgetattr(s.peer.Slave(), &t), 0);
  EXPECT_EQ(std::tuple(cfgetospeed(&t), t.c_cflag & CSIZE), std::tuple(B1200, tcflag_t{CS8}));
  ASSERT_TRUE(s.Say("N     -    0.250 kg "));
  const std::optional<ScaleWaitResult> end = s.events.Ended(id);
  ASSERT_TRUE(end && end->Reading);
  EXPECT_EQ(std::tuple(end->End, *end->Reading->MassKg), std::tuple(ScaleWaitEnd::kTaken, -0.25));
}

// A stable wait ends at once on what no waiting mends, and names it; with
// only moving readings it ends at its limit; a cancelled wait is never
// reported.
TEST(ScaleReader, StableWaitEnds) {
  for (const auto& [line, end] : {std::pair{"OL,GS,+9999.999kg\r\n", ScaleWaitEnd::kOverload},
                                  {"ST,NT,+0012.500oz\r\n", ScaleWaitEnd::kUnknownUnit},
                                  {"US,NT,+0012.400kg\r\n", ScaleWaitEnd::kNoStable}}) {
    PtyScale s(ScaleProtocol::kAscii);
    const uint64_t cancelled = s.reader.BeginWait(ScaleWaitKind::kStable, 20s);
    s.reader.CancelWait(cancelled);
    const uint64_t id = s.reader.BeginWait(ScaleWaitKind::kStable, 500ms);
    ASSERT_TRUE(s.events.SawConnected());
    ASSERT_TRUE(s.Say("US,NT,+0012.400kg\r\n") && s.Say(line));
    const std::optional<ScaleWaitResult> ended = s.events.Ended(id);
    ASSERT_TRUE(ended && ended->Reading) << line;
    EXPECT_EQ(ended->End, end) << line;
    EXPECT_EQ(s.events.WaitsReported(), 1u);
  }
  PtyScale s(ScaleProtocol::kMtSics);
  const uint64_t id = s.reader.BeginWait(ScaleWaitKind::kStable, 20s);
  s.Heard(4);
  ASSERT_TRUE(s.Say("S -\r\n"));
  EXPECT_EQ(s.events.Ended(id)->End, ScaleWaitEnd::kUnderload);
}

TEST(ScaleReader, SilentScaleAndMissingDevice) {
  ScaleTimings quick;
  quick.Silent = 300ms;
  PtyScale s(ScaleProtocol::kMtSics, quick);
  EXPECT_EQ(s.Wait(ScaleWaitKind::kAny)->End, ScaleWaitEnd::kSilent);
  EXPECT_TRUE(
      s.events.SawStatus([](const ScaleStatus& st) { return st.Link == ScaleLink::kSilent; }));

  test::ScaleEvents events;
  ScaleReader missing(test::ScaleOn("/dev/qv-no-such-scale", ScaleProtocol::kSbi),
                      events.Listener());
  const std::optional<ScaleWaitResult> end =
      events.Ended(missing.BeginWait(ScaleWaitKind::kStable, 20s));
  ASSERT_TRUE(end);
  EXPECT_EQ(
      std::tuple(end->End, end->Problem),
      std::tuple(ScaleWaitEnd::kNotConnected, std::string("设备/dev/qv-no-such-scale不存在")));
  EXPECT_EQ(missing.Status().Link, ScaleLink::kNotConnected);
}

}  // namespace
}  // namespace qv
