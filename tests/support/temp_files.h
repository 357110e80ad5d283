// Helpers for the tests of the settings and trace files: a temporary
// directory removed at the end of each test, whole-file reads and writes,
// and a child process in which writes (or new threads) are really refused.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/ini_file.h"

namespace qv::test {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qv-files-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with its trailing '/', as the program keeps it.
  std::string Dir() const { return path_ + "/"; }
  std::string File(const std::string& name) const { return Dir() + name; }
  // Names of the entries in the directory, sorted.
  std::string Listing() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.insert(e.path().filename().string());
    std::string out;
    for (const auto& n : names)
      out += n + ";";
    return out;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buf;
  buf << in.rdbuf();
  return buf.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// How the child is kept from writing.
struct Refusal {
  // Run as an unprivileged user, so that permission bits bind even when the
  // tests run as root (root writes into a 0555 directory regardless).
  bool unprivileged = false;
  // Largest file the child may write; a bigger write fails like a full disk.
  rlim_t fileSizeLimit = RLIM_INFINITY;
  // Most processes and threads the child's user may have (binds only an
  // unprivileged child); 0 refuses every new thread.
  rlim_t threadLimit = RLIM_INFINITY;
};

// Runs `body` in a child process under `how` and returns the text it
// returned, "other error" when it raised an exception, or why the child
// could not be restricted.
inline std::string RunInChild(const std::function<std::string()>& body, Refusal how) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    std::string result;
    bool ready = true;
    if (how.unprivileged && ::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      ready = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
    }
    if (how.fileSizeLimit != RLIM_INFINITY) {
      std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
      const rlimit lim{how.fileSizeLimit, how.fileSizeLimit};
      ready = ready && ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    if (how.threadLimit != RLIM_INFINITY) {
      const rlimit lim{how.threadLimit, how.threadLimit};
      ready = ready && ::setrlimit(RLIMIT_NPROC, &lim) == 0;
    }
    if (!ready) {
      result = "could not restrict the child";
    } else {
      try {
        result = body();
      } catch (...) {
        result = "other error";
      }
    }
    const ssize_t n = ::write(fds[1], result.data(), result.size());
    ::_exit(n == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
    out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

// Runs `write` in a child process under `how` and returns the message of the
// FileWriteError it raised, "no error" when it raised none, or "other error".
inline std::string FailureInChild(const std::function<void()>& write, Refusal how) {
  return RunInChild(
      [&] {
        try {
          write();
        } catch (const FileWriteError& e) {
          return std::string(e.what());
        }
        return std::string("no error");
      },
      how);
}

}  // namespace qv::test
