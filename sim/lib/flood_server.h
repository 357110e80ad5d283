// A serial device server gone wrong, for tests and benchmarks: it accepts
// connections on a loopback port and sends bytes without end, as fast as
// TCP takes them (a line of noise, or a server streaming faster than any
// meter could), until it is stopped or `limit` has passed. The bytes are
// 0x55: they never begin a frame.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace qv::sim {

class FloodServer {
 public:
  explicit FloodServer(std::chrono::seconds limit = std::chrono::seconds(60));
  ~FloodServer();
  FloodServer(const FloodServer&) = delete;
  FloodServer& operator=(const FloodServer&) = delete;

  // "tcp:127.0.0.1:PORT"; empty when no port could be had.
  const std::string& Device() const { return device_; }
  uint64_t BytesSent() const { return sent_.load(); }
  void Stop();

 private:
  void Serve(std::chrono::seconds limit);

  int listen_ = -1;
  std::string device_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sent_{0};
  std::thread thread_;
};

}  // namespace qv::sim
