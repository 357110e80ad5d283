#include "detection/core/flow_detection_run.h"

#include <gtest/gtest.h>

#include "core/number_format.h"
#include "protocol/codec.h"

namespace qv {
namespace {

// A reply of meter 00000012345678 with control `c`, DI `di` and `data`
// (hex), completed with its checksum and end byte.
Bytes Reply(const char* c, const char* di, const char* data) {
  Bytes head, d;
  ParseHex(std::string("68 55 78 56 34 12 00 00 00 ") + c + " 00 " + di + " 01", head);
  ParseHex(data, d);
  head[10] = static_cast<uint8_t>(d.size() + 3);
  head.insert(head.end(), d.begin(), d.end());
  head.push_back(FrameChecksum(head));
  head.push_back(0x16);
  return head;
}

// A bench read reply: volume 1234 with `unit`, inlet 45.67, outlet 32.10,
// coefficients 10000, 10001, 10002, 10003.
Bytes FlowRead(uint8_t unit) {
  char data[400];
  std::snprintf(data, sizeof data,
                "34 12 00 00 %02X  00 00 00 00 00  67 45 00  10 32 00  00 00 00 00 00 00"
                "  00 00 01 00  01 00 01 00  02 00 01 00  03 00 01 00  00 00 00 00 00 00"
                " 00 00 00 00 00 00 00 00",
                unit);
  return Reply("A1", "90 1F", data);
}

TEST(FlowDetectionRun, BenchReadReplyLayout) {
  const Bytes f = FlowRead(0x29);
  ASSERT_EQ(f.size(), 68u);
  const FlowReading r = DecodeFlowRead(f);
  EXPECT_EQ(FormatFixed(r.Volume, 2), "12.34");
  EXPECT_EQ(FormatFixed(DecodeFlowRead(FlowRead(0x2C)).Volume, 2), "0.01");
  EXPECT_EQ(FormatFixed(r.EntreTerm, 2), "45.67");
  EXPECT_EQ(FormatFixed(r.ExitTerm, 2), "32.10");
  EXPECT_EQ(r.Coefficients, (std::array<int64_t, 4>{10000, 10001, 10002, 10003}));
  for (int code = kFlowReadFirst; code < kFlowReadFirst + 5; ++code) {
    EXPECT_TRUE(FlowOperationAccepts(code, f)) << code;
  }
  EXPECT_FALSE(FlowOperationAccepts(kFlowEnd, f));
  // Too short to carry the coefficients: not taken as an answer.
  EXPECT_FALSE(FlowOperationAccepts(kFlowReadFirst, Reply("A1", "90 1F", "34 12 00 00 29")));
}

TEST(FlowDetectionRun, AcknowledgementsByOperation) {
  const Bytes init = Reply("A4", "01 01", "00");
  const Bytes end = Reply("A4", "01 08", "00");
  const Bytes mode = Reply("A4", "01 10", "01 00");
  for (int code : {kFlowInit, kFlowStart, kFlowEnd}) {
    EXPECT_TRUE(FlowOperationAccepts(code, init)) << code;
    EXPECT_TRUE(FlowOperationAccepts(code, end)) << code;
    EXPECT_FALSE(FlowOperationAccepts(code, mode)) << code;
  }
  for (int code : {kFlowEnterCheck, kFlowExitCheck, kFlowClear}) {
    EXPECT_TRUE(FlowOperationAccepts(code, mode)) << code;
  }
  const Bytes calibrate2 = Reply("A4", "01 04", "00 00 10 00 00");
  EXPECT_FALSE(FlowOperationAccepts(kFlowCalibrateFirst, calibrate2));
  EXPECT_TRUE(FlowOperationAccepts(kFlowCalibrateFirst + 1, calibrate2));
  const Bytes mid = Reply("A4", "01 12", "01 50 25 00");
  EXPECT_TRUE(FlowOperationAccepts(kFlowMidTerm, mid));
  EXPECT_FALSE(FlowOperationAccepts(kFlowHighTerm, mid));
  EXPECT_FALSE(FlowOperationAccepts(kFlowLowTerm, mid));
  EXPECT_TRUE(FlowOperationAccepts(kFlowCompensate, Reply("A4", "01 0C", "00 50 00 00 00")));
  EXPECT_FALSE(FlowOperationAccepts(0, mode));
}

TEST(FlowDetectionRun, FramesByOperation) {
  FlowOperationValues v;
  const auto read1 = BuildFlowOperationFrame(kFlowReadFirst, 0, "12345678", v);
  const auto read3 = BuildFlowOperationFrame(kFlowReadFirst + 2, 0, "12345678", v);
  ASSERT_TRUE(read1);
  EXPECT_EQ(read1, read3);
  EXPECT_EQ(HexText(*read1), " FE FE FE 68 55 78 56 34 12 00 00 00 21 04 90 1F 01 00 A6 16");
  EXPECT_FALSE(BuildFlowOperationFrame(kFlowReadFirst, 1, "12345678", v));
  v.Temperature = EntryValue("25.5");
  const auto high = BuildFlowOperationFrame(kFlowHighTerm, 0, "1", v);
  ASSERT_TRUE(high);
  EXPECT_EQ(HexText(*high),
            " FE FE FE 68 55 01 00 00 00 00 00 00 24 07 01 12 01 02 50 25 00 74 16");
  v.Temperature = EntryValue("warm");
  EXPECT_FALSE(BuildFlowOperationFrame(kFlowHighTerm, 0, "1", v));
  EXPECT_EQ(FlowOperationLabel(6), "流量三");
  EXPECT_EQ(FlowOperationLabel(20), "");
  EXPECT_EQ(FlowPointName(4), "流量五");
}

}  // namespace
}  // namespace qv
