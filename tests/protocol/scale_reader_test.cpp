// The scale: golden vectors of the three formats, every reply form written
// from the published formats (text in, reading out), and a corpus of lines
// each decoder must refuse; then the reader against a scale played on a
// pseudo-terminal: what it asks, how it frames and decodes the replies, the
// waits and their ends, and a line that cannot be opened. (The line
// splitter: these and the fuzz target.)
#include "protocol/scale_reader.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cmath>

#include "protocol/scale_reading.h"
#include "support/pty_peer.h"
#include "support/scale_events.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

using S = ScaleState;
using E = ScaleError;
constexpr double kNone = NAN;

struct Golden {
  ScaleProtocol protocol;
  std::string_view line;
  ScaleState state;
  double kg;  // NAN: no mass
  std::string_view unit;
  ScaleError error = E::kNone;
};

// clang-format off
const Golden kGolden[] = {
    // MT-SICS level 0, replies to SI and S
    {ScaleProtocol::kMtSics, "S S     100.00 g\r\n",   S::kStable,    0.1,        "g"},
    {ScaleProtocol::kMtSics, "S S     12.345 kg\r\n",  S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kMtSics, "S S     -0.500 kg",      S::kStable,    -0.5,       "kg"},
    {ScaleProtocol::kMtSics, "S S      1.250 t\r\n",   S::kStable,    1250,       "t"},
    {ScaleProtocol::kMtSics, "S S      10.00 lb\r\n",  S::kStable,    4.5359237,  "lb"},
    {ScaleProtocol::kMtSics, "S D     129.07 g\r\n",   S::kMoving,    0.12907,    "g"},
    {ScaleProtocol::kMtSics, "S D -    2.5 kg\r\n",    S::kMoving,    -2.5,       "kg"},
    {ScaleProtocol::kMtSics, "S I\r\n",                S::kMoving,    kNone,      "", E::kBusy},
    {ScaleProtocol::kMtSics, "S +\r\n",                S::kOverload,  kNone,      ""},
    {ScaleProtocol::kMtSics, "S -\r\n",                S::kUnderload, kNone,      ""},
    {ScaleProtocol::kMtSics, "ES\r\n",                 S::kError,     kNone,      "", E::kSyntax},
    {ScaleProtocol::kMtSics, "ET\r\n",                 S::kError,     kNone,      "", E::kTransmission},
    {ScaleProtocol::kMtSics, "EL\r\n",                 S::kError,     kNone,      "", E::kLogical},
    {ScaleProtocol::kMtSics, "S S     100.00 oz\r\n",  S::kError,     kNone,      "oz", E::kUnknownUnit},
    // SBI print: 16 characters, 22 with the identifier, each with and
    // without CR LF; a unit only when stable (moving: in the last unit
    // printed, here g); over- and underload texts
    {ScaleProtocol::kSbi, "+   12.345 kg \r\n",        S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kSbi, "+   12.345 kg ",            S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kSbi, "+     12.345 kg ",          S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kSbi, "-    0.250 kg \r\n",        S::kStable,    -0.25,      "kg"},
    {ScaleProtocol::kSbi, "+   1234.5 g  \r\n",        S::kStable,    1.2345,     "g"},
    {ScaleProtocol::kSbi, "+    1.000 t  \r\n",        S::kStable,    1000,       "t"},
    {ScaleProtocol::kSbi, "+    25.00 lb \r\n",        S::kStable,    11.33980925, "lb"},
    {ScaleProtocol::kSbi, "+   12.345    \r\n",        S::kMoving,    0.012345,   ""},
    {ScaleProtocol::kSbi, "+   12.345    ",            S::kMoving,    0.012345,   ""},
    {ScaleProtocol::kSbi, "N     +   12.345 kg \r\n",  S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kSbi, "N     +   12.345 kg ",      S::kStable,    12.345,     "kg"},
    {ScaleProtocol::kSbi, "G     -    3.100    \r\n",  S::kMoving,    -0.0031,    ""},
    {ScaleProtocol::kSbi, "      High    \r\n",        S::kOverload,  kNone,      ""},
    {ScaleProtocol::kSbi, "       H      \r\n",        S::kOverload,  kNone,      ""},
    {ScaleProtocol::kSbi, "       HH     ",            S::kOverload,  kNone,      ""},
    {ScaleProtocol::kSbi, "Stat        High    \r\n",  S::kOverload,  kNone,      ""},
    {ScaleProtocol::kSbi, "       Low    \r\n",        S::kUnderload, kNone,      ""},
    {ScaleProtocol::kSbi, "-      L      ",            S::kUnderload, kNone,      ""},
    {ScaleProtocol::kSbi, "+   12.345 oz \r\n",        S::kError,     kNone,      "oz", E::kUnknownUnit},
    // Continuous ASCII: ST / US / OL, GS / NT, zero- or blank-padded
    {ScaleProtocol::kAscii, "ST,GS,+0100.000kg\r\n",   S::kStable,    100,        "kg"},
    {ScaleProtocol::kAscii, "ST,NT,+0012.500kg\r\n",   S::kStable,    12.5,       "kg"},
    {ScaleProtocol::kAscii, "ST,NT,-  12.50 kg\r\n",   S::kStable,    -12.5,      "kg"},
    {ScaleProtocol::kAscii, "US,GS,+0000.512kg\r\n",   S::kMoving,    0.512,      "kg"},
    {ScaleProtocol::kAscii, "ST,GS,+001234.5 g\r\n",   S::kStable,    1.2345,     "g"},
    {ScaleProtocol::kAscii, "ST,GS,+0001.250t\r\n",    S::kStable,    1250,       "t"},
    {ScaleProtocol::kAscii, "US,NT,+0010.00lb",        S::kMoving,    4.5359237,  "lb"},
    {ScaleProtocol::kAscii, "OL,GS,+9999.999kg\r\n",   S::kOverload,  kNone,      ""},
    {ScaleProtocol::kAscii, "OL,NT,       kg\r\n",     S::kOverload,  kNone,      ""},
    {ScaleProtocol::kAscii, "ST,GS,+0100.000oz\r\n",   S::kError,     kNone,      "oz", E::kUnknownUnit},
};

const std::pair<ScaleProtocol, std::string_view> kRefused[] = {
    {ScaleProtocol::kMtSics, ""}, {ScaleProtocol::kMtSics, "S X 1.0 g"},
    {ScaleProtocol::kMtSics, "S S abc g"}, {ScaleProtocol::kMtSics, "S S 100.00"},
    {ScaleProtocol::kMtSics, "S S 1.2.3 g"}, {ScaleProtocol::kMtSics, "I4 A \"0123456789\""},
    {ScaleProtocol::kMtSics, "S S 1e3 g"}, {ScaleProtocol::kMtSics, "S S\x01 1 g"},
    {ScaleProtocol::kSbi, ""}, {ScaleProtocol::kSbi, "              \r\n"},
    {ScaleProtocol::kSbi, "+   12.3a5 kg \r\n"}, {ScaleProtocol::kSbi, "+    --      \r\n"},
    {ScaleProtocol::kSbi, "+   12.345 kg g\r\n"}, {ScaleProtocol::kSbi, "N     +     12.345 kg  \r\n"},
    {ScaleProtocol::kSbi, "       C      \r\n"},
    {ScaleProtocol::kAscii, "XX,GS,+0001.000kg"}, {ScaleProtocol::kAscii, "ST,TR,+0001.000kg"},
    {ScaleProtocol::kAscii, "ST,GS,+0001.000"}, {ScaleProtocol::kAscii, "ST,GS"},
    {ScaleProtocol::kAscii, "ST GS +0001.000kg"}, {ScaleProtocol::kAscii, "ST,GS,+00x1.000kg"},
    {ScaleProtocol::kAscii, "ST,GS,+1.0kg2"},
};
// clang-format on

TEST(ScaleReading, GoldenReplies) {
  for (const Golden& g : kGolden) {
    SCOPED_TRACE(std::string(ScaleProtocolName(g.protocol)) + ": " + std::string(g.line));
    const std::optional<ScaleReading> r = ScaleFormatOf(g.protocol).Decode(g.line, "g");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->State, g.state);
    EXPECT_EQ(r->Unit, g.unit);
    EXPECT_EQ(r->Error, g.error);
    EXPECT_EQ(r->ErrorText.empty(), g.error == E::kNone);
    if (std::isnan(g.kg)) {
      EXPECT_FALSE(r->MassKg.has_value());
    } else {
      ASSERT_TRUE(r->MassKg.has_value());
      EXPECT_NEAR(*r->MassKg, g.kg, 1e-12);
    }
  }
}

TEST(ScaleReading, RefusedLines) {
  for (const auto& [protocol, line] : kRefused) {
    EXPECT_FALSE(ScaleFormatOf(protocol).Decode(line, "kg").has_value())
        << ScaleProtocolName(protocol) << ": " << line;
  }
}

struct PtyScale {
  explicit PtyScale(ScaleProtocol protocol, ScaleTimings timings = {})
      : reader(test::ScaleOn(peer.Path(), protocol), events.Listener(), timings) {}
  std::string Heard(size_t count) {
    const Bytes b = peer.Receive(count);
    return {b.begin(), b.end()};
  }
  bool Say(std::string_view text) { return peer.Send(Bytes(text.begin(), text.end())); }

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
  PtyScale s(ScaleProtocol::kMtSics, {.Silent = 300ms});
  EXPECT_EQ(s.events.Ended(s.reader.BeginWait(ScaleWaitKind::kAny, 20s))->End,
            ScaleWaitEnd::kSilent);
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
