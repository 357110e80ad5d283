// The operation log: line templates, delivery, capacity, many producers.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "core/operation_log.h"
#include "support/local_time.h"

namespace qv {
namespace {

using testing_time::Local;

class OperationLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log.SetClock([] { return Local(2024, 3, 5, 14, 7, 9); });
  }
  std::string Only() {
    auto lines = log.TakePending();
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? "" : lines[0];
  }
  OperationLog log;
};

TEST_F(OperationLogTest, LineTemplates) {
  static constexpr uint8_t kFrame[] = {0x68, 0x55, 0x16};
  const std::pair<std::function<void(OperationLog&)>, const char*> cases[] = {
      {[](OperationLog& l) { l.FrameSent(kFrame); }, "发送数据： 68 55 16"},
      {[](OperationLog& l) { l.BytesReceived(std::span(kFrame).last(1)); }, "收到数据： 16"},
      {[](OperationLog& l) { l.ChannelFrame(kFrame); }, "打开通道： 68 55 16"},
      {[](OperationLog& l) { l.Operation(3, "开始"); }, "操作类型：对第3个设备的进行开始操作"},
      {[](OperationLog& l) { l.OperationFinished("流量三"); }, "操作类型：流量三操作结束"},
      {[](OperationLog& l) { l.CalibrationStep(12, "流量二", true); },
       "操作类型：对第12仪表的流量二补偿操作开始"},
      {[](OperationLog& l) { l.CalibrationStep(12, "流量二", false); },
       "操作类型：对第12仪表的流量二补偿操作结束"},
      {[](OperationLog& l) { l.CoefficientWrite(7, 5, true); },
       "操作类型：对第7仪表进行写系数五操作开始"},
      {[](OperationLog& l) { l.AddressRead(1); }, "操作类型：准备进行第1个设备的读地址操作"},
  };
  for (const auto& [write, text] : cases) {
    write(log);
    EXPECT_EQ(Only(), std::string("[2024-03-05 14:07:09] ") + text);
  }
}

// Without a sink lines are dropped but the message text follows; a wake-up
// comes only when the queue turns non-empty.
TEST_F(OperationLogTest, DeliveryToTheSinkAndWakeUps) {
  int wakeups = 0;
  log.SetWakeup([&] { ++wakeups; });
  log.Post(" a");
  EXPECT_EQ(log.DeliverPending(), 1u);
  EXPECT_EQ(log.MessageText(), "[2024-03-05 14:07:09] a");

  std::vector<std::string> shown;
  log.SetSink([&](const std::string& line) { shown.push_back(line); });
  log.Post(" b");
  log.Post(" c");
  EXPECT_EQ(log.DeliverPending(), 2u);
  EXPECT_EQ(shown,
            (std::vector<std::string>{"[2024-03-05 14:07:09] b", "[2024-03-05 14:07:09] c"}));
  EXPECT_EQ(log.DeliverPending(), 0u);
  EXPECT_EQ(wakeups, 2);
}

// Each block reaches the queue whole once those before it are closed; a
// line for a block already shown follows it; the end shows the rest.
TEST_F(OperationLogTest, BlocksAreShownWholeInTheirOrder) {
  const auto texts = [&] {
    std::vector<std::string> lines = log.TakePending();
    for (std::string& line : lines)
      line.erase(0, line.find(']') + 1);
    return lines;
  };
  using Lines = std::vector<std::string>;
  log.OpenBlocks(3);
  log.PostTo(1, " b1");
  log.PostInto(0);
  log.Post(" a1");
  log.PostInto(OperationLog::kNoBlock);
  log.Post(" x");
  log.CloseBlock(1);
  EXPECT_EQ(texts(), Lines{" x"});
  log.PostTo(0, " a2");
  log.CloseBlock(0);
  log.PostTo(1, " b2");
  log.PostTo(2, " c1");
  EXPECT_EQ(texts(), (Lines{" a1", " a2", " b1", " b2"}));
  log.EndBlocks();
  log.Post(" y");
  EXPECT_EQ(texts(), (Lines{" c1", " y"}));
}

TEST(OperationLogCapacity, FullQueueDropsOldestAndNeverBlocks) {
  OperationLog log(3);
  for (int i = 0; i < 5; ++i)
    log.Post(" " + std::to_string(i));
  auto lines = log.TakePending();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].ends_with(" 2"));
  EXPECT_TRUE(lines[2].ends_with(" 4"));
  EXPECT_EQ(log.Dropped(), 2u);
}

// The user-interface thread and 32 port readers produce lines at once while
// the user interface drains: every line arrives whole and exactly once.
TEST(OperationLogThreads, ThirtyThreeProducersKeepEveryLineWhole) {
  constexpr int kThreads = 33;
  constexpr int kLines = 300;
  OperationLog log(kThreads * kLines);
  std::set<std::string> seen;
  size_t delivered = 0;
  log.SetSink([&](const std::string& line) {
    ++delivered;
    seen.insert(line);
  });
  std::atomic<int> running{kThreads};
  std::vector<std::thread> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.emplace_back([&, t] {
      std::vector<uint8_t> block(40, static_cast<uint8_t>(t));
      for (int i = 0; i < kLines; ++i) {
        block[0] = static_cast<uint8_t>(i >> 8);
        block[1] = static_cast<uint8_t>(i);
        log.BytesReceived(block);
      }
      --running;
    });
  }
  while (running > 0)
    log.DeliverPending();
  for (auto& p : producers)
    p.join();
  log.DeliverPending();

  EXPECT_EQ(delivered, static_cast<size_t>(kThreads * kLines));
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
  const std::string label = " 收到数据：";
  for (const std::string& line : seen) {
    ASSERT_EQ(line.size(), std::string("[2024-03-05 14:07:09]").size() + label.size() + 40 * 3);
    const size_t at = line.find(label);
    ASSERT_EQ(at, 21u);
    // After the two counter bytes every byte of the block is the producer's own.
    const std::string rest = line.substr(at + label.size() + 6);
    for (size_t k = 0; k < rest.size(); k += 3)
      ASSERT_EQ(rest.substr(k, 3), rest.substr(0, 3));
  }
}

}  // namespace
}  // namespace qv
