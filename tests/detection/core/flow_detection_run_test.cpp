#include "detection/core/flow_detection_run.h"

#include <gtest/gtest.h>

#include "core/number_format.h"
#include "protocol/codec.h"
#include "support/hex.h"

namespace qv {
namespace {

// A reply of meter 00000012345678 with control `c`, DI `di` and `data`
// (hex), completed with its checksum and end byte.
Bytes Reply(const char* c, const char* di, const std::string& data) {
  Bytes head, d;
  ParseHex(std::string("68 55 78 56 34 12 00 00 00 ") + c + " 00 " + di + " 01", head);
  ParseHex(data, d);
  head[10] = static_cast<uint8_t>(d.size() + 3);
  head.insert(head.end(), d.begin(), d.end());
  return test::Complete(std::move(head));
}

// A bench read reply: volume 1234 with `unit`, heat 12345678 with
// `heat_unit`, inlet 45.67, outlet 32.10, coefficients 10000 .. 10003.
Bytes FlowRead(uint8_t unit, uint8_t heat_unit = 0x05) {
  char data[400];
  std::snprintf(data, sizeof data,
                "34 12 00 00 %02X  78 56 34 12 %02X  67 45 00  10 32 00  00 00 00 00 00 00"
                "  00 00 01 00  01 00 01 00  02 00 01 00  03 00 01 00  00 00 00 00 00 00"
                " 00 00 00 00 00 00 00 00",
                unit, heat_unit);
  return Reply("A1", "90 1F", data);
}

bool Confirms(int code, std::span<const uint8_t> frame) {
  const OperationRow* op = FindOperation(FlowOperations(), code);
  return op && qv::Confirms(*op, frame);
}

TEST(FlowDetectionRun, BenchReadReplyLayout) {
  const Bytes f = FlowRead(0x29);
  ASSERT_EQ(f.size(), 68u);
  const BenchRead r = *DecodeBenchRead(f);
  EXPECT_EQ(FormatFixed(r.VolumeL, 2), "12.34");
  EXPECT_EQ(FormatFixed(DecodeBenchRead(FlowRead(0x2C))->VolumeL, 2), "0.01");
  EXPECT_EQ(FormatFixed(r.HeatKWh, 3), "12345.678");
  EXPECT_EQ(FormatFixed(DecodeBenchRead(FlowRead(0x29, 0x08))->HeatKWh, 3), "12345678.000");
  EXPECT_EQ(FormatFixed(DecodeBenchRead(FlowRead(0x29, 0x33))->HeatKWh, 3), "12345.678");
  EXPECT_EQ(FormatFixed(r.EntreC, 2), "45.67");
  EXPECT_EQ(FormatFixed(r.ExitC, 2), "32.10");
  EXPECT_EQ(r.Coefficients, (std::array<int64_t, 4>{10000, 10001, 10002, 10003}));
  for (int point = 0; point < kFlowPoints; ++point)
    EXPECT_TRUE(Confirms(FlowReadCode(point), f)) << point;
  EXPECT_FALSE(Confirms(kFlowEnd, f));
  // Too short to carry the coefficients: not taken as an answer.
  const Bytes short_read = Reply("A1", "90 1F", "34 12 00 00 29");
  EXPECT_FALSE(Confirms(FlowReadCode(0), short_read));
  EXPECT_FALSE(DecodeBenchRead(short_read));
}

TEST(FlowDetectionRun, AcknowledgementsByOperation) {
  const Bytes init = Reply("A4", "01 01", "00");
  const Bytes end = Reply("A4", "01 08", "00");
  const Bytes mode = Reply("A4", "01 10", "01 00");
  for (int code : {kFlowInit, kFlowStart, kFlowEnd}) {
    EXPECT_TRUE(Confirms(code, init)) << code;
    EXPECT_TRUE(Confirms(code, end)) << code;
    EXPECT_FALSE(Confirms(code, mode)) << code;
  }
  for (int code : {kFlowEnterCheck, kFlowExitCheck, kFlowClear})
    EXPECT_TRUE(Confirms(code, mode)) << code;
  const Bytes calibrate2 = Reply("A4", "01 04", "00 00 10 00 00");
  EXPECT_FALSE(Confirms(FlowCalibrateCode(0), calibrate2));
  EXPECT_TRUE(Confirms(FlowCalibrateCode(1), calibrate2));
  const Bytes mid = Reply("A4", "01 12", "01 50 25 00");
  EXPECT_TRUE(Confirms(kFlowMidTerm, mid));
  EXPECT_FALSE(Confirms(kFlowHighTerm, mid));
  EXPECT_FALSE(Confirms(kFlowLowTerm, mid));
  EXPECT_TRUE(Confirms(kFlowCompensate, Reply("A4", "01 0C", "00 50 00 00 00")));
  EXPECT_FALSE(Confirms(0, mode));
}

TEST(FlowDetectionRun, FramesByOperation) {
  const auto frame = [](int code, int32_t protocol, std::string_view address,
                        const char* value = "") {
    CommandRequest v;
    v.value = EntryValue(value);
    return OperationFrame(*FindOperation(FlowOperations(), code), protocol, address, v);
  };
  const auto read1 = frame(FlowReadCode(0), 0, "12345678");
  ASSERT_TRUE(read1);
  EXPECT_EQ(read1, frame(FlowReadCode(2), 0, "12345678"));
  EXPECT_EQ(HexText(*read1), " FE FE FE 68 55 78 56 34 12 00 00 00 21 04 90 1F 01 00 A6 16");
  EXPECT_FALSE(frame(FlowReadCode(0), 1, "12345678"));
  EXPECT_EQ(HexText(*frame(kFlowHighTerm, 0, "1", "25.5")),
            " FE FE FE 68 55 01 00 00 00 00 00 00 24 07 01 12 01 02 50 25 00 74 16");
  EXPECT_FALSE(frame(kFlowHighTerm, 0, "1", "warm"));
  EXPECT_EQ(FlowPointName(4), "流量五");
}

}  // namespace
}  // namespace qv
