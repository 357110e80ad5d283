// A port transport that keeps what it is given: for cycle tests that need a
// port taking frames without a line behind it.
#pragma once

#include <string>
#include <vector>

#include "core/hex.h"
#include "serial/port_transport.h"

namespace qv::testing_support {

class FakeTransport : public PortTransport {
 public:
  bool open = true;
  std::vector<Bytes> written;

  bool Open() override { return open = true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  bool WriteCommData(std::span<const uint8_t> data) override {
    if (!open) return false;
    written.emplace_back(data.begin(), data.end());
    return true;
  }
  const std::string& PortName() const override { return name_; }
  std::string DevicePath() const override { return {}; }

 private:
  std::string name_ = "COM3";
};

}  // namespace qv::testing_support
