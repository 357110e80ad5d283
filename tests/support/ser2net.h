// Debian's ser2net as a serial device server in front of a line of the
// test: it serves `device` on a loopback TCP port, raw, as a factory's
// device server serves its serial port. The line runs 2400 baud 8N1, since
// pseudo-terminals take no parity. Stop and Start again to restart the
// server on the same port.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv::test {

class Ser2net {
 public:
  // The program, or empty when ser2net is not installed.
  static std::string Program() {
    for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net"}) {
      if (::access(p, X_OK) == 0) return p;
    }
    return {};
  }
  static constexpr const char* kMissing =
      "ser2net is not installed (Debian package ser2net; scripts/test installs it)";

  explicit Ser2net(const std::string& device) : port_(FreePort()) {
    std::ofstream(dir_.File("ser2net.yaml"))
        << "connection: &line\n"
        << "  accepter: tcp,127.0.0.1," << port_ << "\n"
        << "  connector: serialdev," << device << ",2400n81,local\n"
        << "  options:\n"
        << "    kickolduser: true\n";
  }
  ~Ser2net() { Stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // The device as the program names it.
  std::string Device() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

  // Starts the server; true once it listens.
  bool Start() {
    const std::string program = Program();
    const std::string config = dir_.File("ser2net.yaml");
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(program.c_str(), program.c_str(), "-n", "-c", config.c_str(), "-P",
              dir_.File("pid").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid_ > 0 && WaitFor([this] { return Listening(); });
  }
  void Stop() {  // the server and every connection it holds
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  // A port nobody listens on now.
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }
  // The server listens on the port (read from the kernel's socket table,
  // so that no connection of the test's own reaches the line).
  bool Listening() const {
    std::ifstream table("/proc/net/tcp");
    char wanted[40];
    std::snprintf(wanted, sizeof wanted, ":%04X 00000000:0000 0A", port_);
    for (std::string line; std::getline(table, line);)
      if (line.find(wanted) != std::string::npos) return true;
    return false;
  }

  TempDir dir_;
  int port_;
  pid_t pid_ = -1;
};

}  // namespace qv::test
