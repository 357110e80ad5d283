// A row's port that cannot be opened: it stays closed and the log says why.
// (The window's other rules are tested through the window.)
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_files.h"
#include "tools/core/set_para_settings.h"

namespace qv {
namespace {

// The log line of a port chosen for row 1 that cannot be opened.
std::string ChoosingFails(const std::string& device) {
  SharedState state;
  state.PortDevices[5] = device;
  state.Slots.CreatePorts(state.PortDevices, state.Log);
  EXPECT_FALSE(ChooseRowPort(state, 0, 5));
  EXPECT_EQ(state.Rows[0].Comm, 5);
  EXPECT_FALSE(state.Slots[5].PortOpen);
  const auto lines = state.Log.TakePending();
  return lines.empty() ? std::string() : lines.back();
}

TEST(SetParaRulesTest, APortThatCannotBeOpenedIsLoggedWithTheReason) {
  test::TempDir dir;
  ::chmod(dir.Dir().c_str(), 0755);
  EXPECT_NE(ChoosingFails(dir.File("missing")).find(" 串口COM5打开失败：设备"), std::string::npos);
  // A device nobody may use but its owner, tried as another user (root may
  // use everything): the log names the group that may.
  const std::string device = dir.File("ttyQV0");
  ::close(::open(device.c_str(), O_CREAT | O_WRONLY, 0000));
  struct stat st {};
  ASSERT_EQ(::stat(device.c_str(), &st), 0);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::getuid() == 0 && ::setuid(65534) != 0) _exit(1);
    const std::string line = ChoosingFails(device);
    _exit(::write(pipe_fds[1], line.data(), line.size()) > 0 ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  char text[512] = {};
  const ssize_t n = ::read(pipe_fds[0], text, sizeof text - 1);
  ::close(pipe_fds[0]);
  ::waitpid(child, nullptr, 0);
  ASSERT_GT(n, 0);
  const std::string group = ::getgrgid(st.st_gid)->gr_name;
  EXPECT_NE(std::string(text).find("无访问权限（请将当前用户加入" + group + "组"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace qv
