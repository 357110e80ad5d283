// A program that opens a virtual line for exclusive use, closes it and opens
// it again must succeed, as with a real serial device; another opener is
// refused while the line is held. Exclusive use binds only unprivileged
// users, so when the tests run as root the checks run in a child process
// that has given up root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

constexpr uid_t kNobody = 65534;

// Child process steps; the exit code says which step failed (0 = all well).
int OpenCloseReopen(const char* path) {
  if (getuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return 10;
  const int fd = open(path, O_RDWR | O_NOCTTY);
  if (fd < 0) return 11;
  if (ioctl(fd, TIOCEXCL) != 0) return 12;
  // While held, a second open is refused.
  const int second = open(path, O_RDWR | O_NOCTTY);
  if (second >= 0) return 13;
  close(fd);
  // The bench clears exclusive use once it sees the close: retry for a while.
  for (int i = 0; i < 200; ++i) {
    const int again = open(path, O_RDWR | O_NOCTTY);
    if (again >= 0) {
      close(again);
      return 0;
    }
    usleep(10000);
  }
  return 14;
}

TEST(ExclusiveUse, LineCanBeReopenedAfterTheProgramClosesIt) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  const std::string path = StartKnown(bench);
  if (getuid() == 0) chmod(path.c_str(), 0666);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(OpenCloseReopen(path.c_str()));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The line still works afterwards.
  EXPECT_EQ(PtyPeer(path).Exchange(kInit1, 17), kInit1Reply);
}

}  // namespace
}  // namespace qv::sim
