// Port slots: which slot and channel a row uses under each wiring, opening
// the rows' ports and giving a row a port. (Start-up opening the ports that
// comminfo.ini names is run by the window tests through the program's own
// start-up.)
#include "protocol/routing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

struct RouteCase {
  const char* what;
  int32_t comm_type;
  int row;
  int slot;
  std::optional<int32_t> channel;
  int row0_comm = 5;  // 0: row 0 has no port
};

// Rows of the bench used by every case: row 0 on COM5 (unless the case says
// otherwise) channel 2, rows 1 and 2 on COM3 channels 7 and 9, row 3 on no
// port, row 4 on a port number the bench does not have.
void WireRows(SharedState& s) {
  s.Rows[0].Channel = 2;
  s.Rows[1].Comm = 3;
  s.Rows[1].Channel = 7;
  s.Rows[2].Comm = 3;
  s.Rows[2].Channel = 9;
  s.Rows[3].Comm = 0;
  s.Rows[4].Comm = 40;
}

TEST(RouteForRow, FollowsTheWiring) {
  const RouteCase kCases[] = {
      {"single port: row 0's port for all", kCommSingle, 0, 5, std::nullopt},
      {"single port: row 0's port for all", kCommSingle, 2, 5, std::nullopt},
      {"single port: even a row without a port", kCommSingle, 3, 5, std::nullopt},
      {"one port per meter: own port", kCommMulti, 0, 5, std::nullopt},
      {"one port per meter: COM3 shared", kCommMulti, 1, 3, std::nullopt},
      {"one port per meter: COM3 shared", kCommMulti, 2, 3, std::nullopt},
      {"one port per meter: no port", kCommMulti, 3, 0, std::nullopt},
      {"one port per meter: no such port", kCommMulti, 4, 0, std::nullopt},
      {"infrared: nothing", kCommInfrared, 0, 0, std::nullopt},
      {"infrared: nothing", kCommInfrared, 1, 0, std::nullopt},
      {"channel switch: row 0's port, own channel", kCommChannel, 0, 5, 2},
      {"channel switch: row 0's port, own channel", kCommChannel, 2, 5, 9},
      {"unknown wiring", 4, 0, 0, std::nullopt},
      {"unknown wiring", -1, 1, 0, std::nullopt},
      {"row out of range", kCommMulti, 20, 0, std::nullopt},
      {"row out of range", kCommSingle, -1, 0, std::nullopt},
      {"single port: none on row 0, none for all", kCommSingle, 2, 0, std::nullopt, 0},
      {"channel switch: none on row 0, none for all", kCommChannel, 1, 0, std::nullopt, 0},
  };
  for (const RouteCase& c : kCases) {
    auto s = std::make_unique<SharedState>();
    s->Settings.CommType = c.comm_type;
    WireRows(*s);
    s->Rows[0].Comm = c.row0_comm;
    const RowRoute r = RouteForRow(*s, c.row);
    EXPECT_EQ(r.Slot, c.slot) << c.what << ", row " << c.row;
    EXPECT_EQ(r.Channel, c.channel) << c.what << ", row " << c.row;
    EXPECT_EQ(r.HasPort(), c.slot != 0);
  }
}

class SlotPortsTest : public ::testing::Test {
 protected:
  SlotPortsTest() {
    state->Settings.CommType = kCommMulti;
    state->PortDevices[3] = com3.Path();
    state->PortDevices[8] = com8.Path();
    state->PortDevices[9] = dir.File("no-such-device");
    state->Slots.CreatePorts(state->PortDevices, state->Log);
  }

  PtyPeer com3;
  PtyPeer com8;
  TempDir dir;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
};

TEST_F(SlotPortsTest, OpenMeterPortsOpensEachNamedPortOnce) {
  state->Rows[0].Comm = 3;
  state->Rows[1].Comm = 9;  // the device is missing: stays closed, logged
  state->Rows[5].Comm = 3;
  state->Rows[6].Comm = 8;
  OpenMeterPorts(*state);
  EXPECT_TRUE(state->Slots[3].PortOpen && state->Slots[8].PortOpen);
  // The missing device stays closed; rows without a port open nothing.
  EXPECT_FALSE(state->Slots[9].PortOpen || state->Slots[1].PortOpen);
  // No message box, but the log says which port and why.
  const auto lines = state->Log.TakePending();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" 串口COM9打开失败：设备" + dir.File("no-such-device") + "不存在"),
            std::string::npos)
      << lines[0];

  // Rows 0 and 5 share slot 3 and its ring.
  EXPECT_EQ(RowSendSlot(*state, 0), &state->Slots[3]);
  EXPECT_EQ(RowSendSlot(*state, 5), &state->Slots[3]);
  EXPECT_EQ(RowSendSlot(*state, 1), nullptr) << "its port is not open";
  EXPECT_EQ(RowSendSlot(*state, 2), nullptr) << "no port";
  ASSERT_TRUE(com3.Send(Bytes{0x68, 0x16}));
  EXPECT_TRUE(WaitFor([&] { return state->Slots[3].Unread() == 2; }));
  EXPECT_EQ(state->Slots[8].Unread(), 0);
}

TEST_F(SlotPortsTest, AssignRowPortOpensOnlyWhatIsNotOpen) {
  EXPECT_TRUE(AssignRowPort(*state, 4, 8));
  EXPECT_EQ(state->Rows[4].Comm, 8);
  EXPECT_TRUE(state->Slots[8].PortOpen);
  EXPECT_TRUE(AssignRowPort(*state, 6, 8)) << "already open: shared";

  EXPECT_FALSE(AssignRowPort(*state, 4, 9));
  EXPECT_EQ(state->Rows[4].Comm, 9) << "the row keeps the number it was given";
  EXPECT_FALSE(state->Slots[9].PortOpen);

  EXPECT_FALSE(AssignRowPort(*state, 6, 0));
  EXPECT_EQ(state->Rows[6].Comm, 0);
  EXPECT_TRUE(state->Slots[8].PortOpen) << "a port no longer named stays open";
  EXPECT_TRUE(state->Slots[8].Port->IsOpen());

  EXPECT_FALSE(AssignRowPort(*state, 4, 33));
  EXPECT_FALSE(AssignRowPort(*state, 20, 3));
  EXPECT_EQ(state->Rows[4].Comm, 9) << "out of range changes nothing";
}

// The real port, in a child process allowed no more threads: its reader
// cannot be started, and the row is left without an open port.
TEST_F(SlotPortsTest, NoThreadForAPortLeavesItClosed) {
  ASSERT_EQ(::chmod(com8.Path().c_str(), 0666), 0);  // the child runs as nobody
  const std::string outcome = RunInChild(
      [&] {
        std::string why;
        const bool open = AssignRowPort(*state, 4, 8, &why);
        return why + (open || state->Slots[8].PortOpen || state->Rows[4].Comm != 8 ? " wrong" : "");
      },
      {.unprivileged = true, .threadLimit = 0});
  EXPECT_EQ(outcome, "Unable to create read thread!");
}

}  // namespace
}  // namespace qv
