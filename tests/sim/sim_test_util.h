// Test side of a virtual serial line: opens a bench's pseudo-terminal the way
// the program opens a serial port (exclusive, raw 2400 baud 8E1), writes
// requests given as hex text and collects what comes back.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "protocol/codec.h"

namespace qv::sim::test {

using std::chrono::milliseconds;

// Hex text ("68 55 01") as bytes; an empty result for malformed text makes
// the calling test fail on its comparison.
Bytes Hex(std::string_view text);
// Bytes as upper-case hex separated by blanks: "68 55 01".
std::string ToHex(const Bytes& bytes);
// A frame body from its 0x68 through the last payload byte, completed with
// its checksum and end byte (for building requests in tests that vary them).
std::string WithChecksum(std::string_view body_hex);

class PtyClient {
 public:
  explicit PtyClient(const std::string& path);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Close();

  void Write(const Bytes& bytes);
  void WriteHex(std::string_view hex) { Write(Hex(hex)); }
  // Reads until `count` bytes have arrived or `deadline` has passed.
  Bytes ReadCount(size_t count, milliseconds deadline = milliseconds(3000));
  // Reads until no byte has come for `silence`, or `deadline` has passed.
  Bytes ReadUntilSilent(milliseconds silence, milliseconds deadline = milliseconds(3000));
  // Writes a request and reads a reply of `count` bytes.
  std::string Exchange(std::string_view request_hex, size_t count);

 private:
  int fd_ = -1;
};

}  // namespace qv::sim::test
