// A row's port that cannot be opened: it stays closed and the log says why.
// (The window's other rules are tested through the window.)
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "protocol/routing.h"
#include "support/temp_files.h"
#include "tools/core/set_para_settings.h"

namespace qv {
namespace {

// The log line of port 5, named by row 1, that cannot be opened: chosen in
// the settings window, or opened at start-up.
std::string OpeningFails(const std::string& device, bool at_startup) {
  SharedState state;
  state.PortDevices[5] = device;
  state.Slots.CreatePorts(state.PortDevices, state.Log);
  if (at_startup) {
    state.Rows[0].Comm = 5;
    OpenMeterPorts(state);
  } else {
    EXPECT_FALSE(ChooseRowPort(state, 0, 5));
  }
  EXPECT_EQ(state.Rows[0].Comm, 5);
  EXPECT_FALSE(state.Slots[5].PortOpen);
  const auto lines = state.Log.TakePending();
  EXPECT_EQ(lines.size(), 1u);
  return lines.empty() ? std::string() : lines.back();
}

TEST(SetParaRulesTest, APortThatCannotBeOpenedIsLoggedWithTheReason) {
  test::TempDir dir;
  ::chmod(dir.Dir().c_str(), 0755);
  // A device nobody may use but its owner, tried as another user (root may
  // use everything): the log names the group that may.
  const std::string device = dir.File("ttyQV0");
  ::close(::open(device.c_str(), O_CREAT | O_WRONLY, 0000));
  struct stat st {};
  ASSERT_EQ(::stat(device.c_str(), &st), 0);
  const std::string group = ::getgrgid(st.st_gid)->gr_name;
  for (bool at_startup : {false, true}) {
    EXPECT_NE(OpeningFails(dir.File("missing"), at_startup).find(" 串口COM5打开失败：设备"),
              std::string::npos);
    const std::string line =
        test::RunInChild([&] { return OpeningFails(device, at_startup); }, {.unprivileged = true});
    EXPECT_NE(line.find("无访问权限（请将当前用户加入" + group + "组"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace qv
