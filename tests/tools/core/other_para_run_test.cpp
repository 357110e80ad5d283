// The other-parameters operations without the window: the values each row
// sends, the values refused before sending, the reply sub-codes and the
// read-backs.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/hex.h"
#include "tools/core/other_para_run.h"

using namespace qv;

namespace {

Bytes FrameOf(int code, const OtherParaRowInputs& in) {
  const OperationRow& op = *FindOperation(OtherParaOperations(), code);
  const Bytes f = OperationFrame(op, 0, "1", OtherParaValues(op, in)).value();
  return Bytes(std::find(f.begin(), f.end(), 0x68), f.end());  // from the 68
}

// A reply of `size` bytes with `bytes` from offset `at`.
Bytes Reply(size_t size, size_t at, std::initializer_list<uint8_t> bytes) {
  Bytes f(size, 0);
  std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
  return f;
}

TEST(OtherParaRun, WriteValuesAreScaledAndTruncated) {
  OtherParaRowInputs in;
  in.Data = "12.3456";
  const Bytes heat = FrameOf(kOtherWriteHeat, in);
  EXPECT_EQ(Bytes(heat.begin() + 14, heat.begin() + 22),
            (Bytes{0x05, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x05}));
  in.Data = "7.9";
  const Bytes hours = FrameOf(kOtherWriteWorkTime, in);
  EXPECT_EQ(Bytes(hours.begin() + 14, hours.begin() + 16), (Bytes{0x08, 0x07}));
  in.Pairing = {"", "", "", "25.5", "20.29", "7", "", "", ""};
  const Bytes middle = FrameOf(kOtherWriteMidPairing, in);
  EXPECT_EQ(Bytes(middle.begin() + 14, middle.begin() + 21),
            (Bytes{0x07, 0x50, 0x25, 0x29, 0x20, 0x00, 0x07}));
  in.PtNo = "4000000000";
  const Bytes pt = FrameOf(kOtherWritePtNo, in);
  EXPECT_EQ(Bytes(pt.begin() + 15, pt.begin() + 20), (Bytes{0x00, 0x00, 0x00, 0x00, 0x40}));
}

TEST(OtherParaRun, ValuesThatCannotBeSentNameTheirField) {
  const std::tuple<int, OtherParaRowInputs, std::optional<int>> cases[] = {
      {kOtherWriteHeat, {.Data = "abc"}, 0},
      {kOtherWriteHeat, {.Data = "-1"}, 0},
      {kOtherWriteHeat, {.Data = "1000000000"}, 0},
      {kOtherWriteHeat, {.Data = " "}, 0},
      {kOtherWriteHighPairing, {.Pairing = {"", "", "", "", "", "", "1", "x", ""}}, 8},
      {kOtherWriteLowPairing, {.Pairing = {"100", "", "", "", "", "", "", "", ""}}, 1},
      {kOtherWritePtNo, {.PtNo = "12345678901"}, 10},
      {kOtherWritePtNo, {.PtNo = "1.5"}, 10},
      {kOtherWritePtNo, {.PtNo = "9999999999"}, std::nullopt},
      {kOtherReadPtNo, {.PtNo = "x"}, std::nullopt},
  };
  for (const auto& [code, in, field] : cases) {
    EXPECT_EQ(OtherParaBadField(*FindOperation(OtherParaOperations(), code), in), field) << code;
  }
}

TEST(OtherParaRun, RepliesOfOneIdentifierToldApartBySubCode) {
  const auto confirms = [](int code, const char* di, const char* sub) {
    const Bytes reply = test::Complete(std::string("68 55 01 00 00 00 00 00 00 A4 05 ") + di +
                                       " 01 " + sub + " 00");
    return Confirms(*FindOperation(OtherParaOperations(), code), reply);
  };
  EXPECT_TRUE(confirms(kOtherWriteCold, "01 11", "06"));
  EXPECT_FALSE(confirms(kOtherWriteCold, "01 11", "05"));
  EXPECT_TRUE(confirms(kOtherReadHeatUnit, "01 13", "00"));
  EXPECT_FALSE(confirms(kOtherReadPipe, "01 13", "00"));
  EXPECT_TRUE(confirms(kOtherWritePipe, "01 13", "81"));
  EXPECT_TRUE(confirms(kOtherReadPtNo, "01 14", "05"));
  EXPECT_FALSE(confirms(kOtherWritePtNo, "01 14", "05"));
}

TEST(OtherParaRun, ReadBacks) {
  const Bytes flow =
      Reply(28, 14, {0x56, 0x34, 0x12, 0x00, 0x29, 0x00, 0x25, 0, 0, 0x33, 0x0F, 0xA0});
  const OtherParaReadBack acc = DecodeOtherParaReply(kOtherReadAccFlow, flow);
  EXPECT_DOUBLE_EQ(*acc.AccFlow, 1234.56);
  EXPECT_DOUBLE_EQ(*acc.Flow, 25.0);
  EXPECT_EQ(*acc.Status, "A00F");
  Bytes ten = flow;
  ten[18] = 0x2C;
  ten[23] = 0x40;  // not a flow unit
  const OtherParaReadBack tenfold = DecodeOtherParaReply(kOtherReadAccFlow, ten);
  EXPECT_DOUBLE_EQ(*tenfold.AccFlow, 1234560.0);
  EXPECT_FALSE(tenfold.Flow);
  const Bytes ultra = Reply(45, 30, {0x00, 0x01, 0, 0, 0x2B, 0x00, 0x10, 0, 0, 0x32, 0x01, 0x02});
  const OtherParaReadBack u = DecodeOtherParaReply(kOtherReadUltrasonic, ultra);
  EXPECT_DOUBLE_EQ(*u.AccFlow, 100.0);
  EXPECT_DOUBLE_EQ(*u.Flow, 1.0);
  EXPECT_EQ(*u.Status, "0201");

  const OtherParaReadBack pairing =
      DecodeOtherParaReply(kOtherReadPairing, Reply(35, 15, {0x00, 0x25, 0x29, 0x20}));
  EXPECT_DOUBLE_EQ((*pairing.Pairing)[0], 25.0);
  EXPECT_DOUBLE_EQ((*pairing.Pairing)[1], 20.29);

  const std::tuple<int, uint8_t, std::optional<int>> codes[] = {
      {kOtherReadHeatUnit, 0x11, 1},
      {kOtherReadHeatUnit, 0x05, 0},
      {kOtherReadHeatUnit, 0x07, std::nullopt},
      {kOtherReadPipe, 0x02, 1},
      {kOtherReadPipe, 0x01, 0},
      {kOtherReadPipe, 0x03, std::nullopt}};
  for (const auto& [code, byte, index] : codes) {
    const OtherParaReadBack r = DecodeOtherParaReply(code, Reply(19, 16, {byte}));
    EXPECT_EQ(code == kOtherReadPipe ? r.Pipe : r.HeatUnit, index) << int{byte};
  }
  const OtherParaReadBack pt =
      DecodeOtherParaReply(kOtherReadPtNo, Reply(25, 18, {0x99, 0x99, 0x99, 0x99, 0x99}));
  EXPECT_EQ(*pt.PtNumber, 9999999999u);
}

}  // namespace
