// Golden vectors of the three scale formats: every reply form, written from
// the published formats (text in, reading out), and a corpus of lines each
// decoder must refuse. (The line splitter: the reader's tests and the fuzz
// target.)
#include "protocol/scale_reading.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv {
namespace {

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

}  // namespace
}  // namespace qv
