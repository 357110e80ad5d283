#include "sim/lib/flood_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qv::sim {

FloodServer::FloodServer(std::chrono::seconds limit) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listen_, 4) != 0 ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    return;
  }
  device_ = "tcp:127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  thread_ = std::thread(&FloodServer::Serve, this, limit);
}

FloodServer::~FloodServer() {
  Stop();
  if (listen_ >= 0) ::close(listen_);
}

void FloodServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void FloodServer::Serve(std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  const std::vector<uint8_t> noise(65536, 0x55);
  std::vector<int> clients;
  while (!stop_ && std::chrono::steady_clock::now() < end) {
    std::vector<pollfd> fds{{listen_, POLLIN, 0}};
    for (int c : clients)
      fds.push_back({c, POLLOUT, 0});
    if (::poll(fds.data(), fds.size(), 10) <= 0) continue;
    std::vector<int> open;
    if (fds[0].revents & POLLIN) {
      const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (c >= 0) open.push_back(c);
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents & (POLLOUT | POLLERR | POLLHUP)) {
        const ssize_t n = ::send(fds[i].fd, noise.data(), noise.size(), MSG_NOSIGNAL);
        if (n > 0) {
          sent_ += static_cast<uint64_t>(n);
        } else if (errno != EAGAIN && errno != EINTR) {
          ::close(fds[i].fd);  // the program closed its side
          continue;
        }
      }
      open.push_back(fds[i].fd);
    }
    clients.swap(open);
  }
  for (int c : clients)
    ::close(c);
}

}  // namespace qv::sim
