#include "sim/lib/sim_frame.h"

#include <algorithm>
#include <cctype>

namespace qv::sim {

namespace {

constexpr size_t kAddressDigits = 14;
constexpr size_t kOffsetType = 1;
constexpr size_t kOffsetAddress = 2;
constexpr size_t kOffsetControl = 9;
constexpr size_t kOffsetLength = 10;
constexpr size_t kOffsetDi = 11;
constexpr size_t kOffsetSerial = 13;
constexpr size_t kOffsetPayload = 14;

// Requests whose L is one short of the bytes that follow it: the meter reads
// one byte further when the stated length gives no valid frame.
struct ShortLengthRequest {
  uint8_t type;
  uint8_t control;
  uint8_t length;
  DataId di;
};
constexpr ShortLengthRequest kShortLengthRequests[] = {
    {kTypeBench, 0x24, 0x04, {0x01, 0x02}},  // StartTest: ... 01 F2 00 CS 16
    {kTypeBench, 0x24, 0x04, {0x01, 0x08}},  // EndTest
};

bool MayBeShortLength(std::span<const uint8_t> b) {
  if (b.size() <= kOffsetDi + 1) return false;
  return std::any_of(std::begin(kShortLengthRequests), std::end(kShortLengthRequests),
                     [&](const ShortLengthRequest& r) {
                       return b[kOffsetType] == r.type && b[kOffsetControl] == r.control &&
                              b[kOffsetLength] == r.length && b[kOffsetDi] == r.di.d0 &&
                              b[kOffsetDi + 1] == r.di.d1;
                     });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<SimAddress> SimAddress::FromText(std::string_view text) {
  if (text.empty() || text.size() > kAddressDigits) return std::nullopt;
  std::string padded(kAddressDigits - text.size(), '0');
  padded += text;
  SimAddress a;
  // Digits 1-2 are A6, digits 13-14 are A0.
  for (size_t i = 0; i < 7; ++i) {
    const int hi = HexValue(padded[2 * i]);
    const int lo = HexValue(padded[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    a.bytes[6 - i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return a;
}

std::string SimAddress::Text() const {
  std::string out;
  for (size_t i = 7; i-- > 0;)
    out += ByteToHex(bytes[i]);
  return out;
}

bool SimAddress::IsBroadcast() const {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xAA; });
}

SimAddress SimAddress::Broadcast() {
  SimAddress a;
  a.bytes.fill(0xAA);
  return a;
}

Bytes BuildFrame(uint8_t type, const SimAddress& address, uint8_t control, DataId di,
                 uint8_t serial, std::span<const uint8_t> payload) {
  Bytes f;
  f.reserve(kFrameOverhead + 3 + payload.size());
  f.push_back(kStartByte);
  f.push_back(type);
  f.insert(f.end(), address.bytes.begin(), address.bytes.end());
  f.push_back(control);
  f.push_back(static_cast<uint8_t>(3 + payload.size()));
  f.push_back(di.d0);
  f.push_back(di.d1);
  f.push_back(serial);
  f.insert(f.end(), payload.begin(), payload.end());
  f.push_back(FrameChecksum(f));
  f.push_back(kEndByte);
  return f;
}

bool ParseFrame(std::span<const uint8_t> raw, size_t slack, SimFrame& out) {
  const size_t n = raw.size();
  if (n < kMinFrame || raw[0] != kStartByte) return false;
  if (n != raw[kOffsetLength] + kFrameOverhead + slack) return false;
  if (raw[n - 1] != kEndByte) return false;
  if (raw[n - 2] != FrameChecksum(raw.first(n - 2))) return false;
  out.type = raw[kOffsetType];
  std::copy_n(raw.begin() + kOffsetAddress, 7, out.address.bytes.begin());
  out.control = raw[kOffsetControl];
  out.di = {raw[kOffsetDi], raw[kOffsetDi + 1]};
  out.serial = raw[kOffsetSerial];
  out.payload.assign(raw.begin() + kOffsetPayload, raw.end() - 2);
  out.raw.assign(raw.begin(), raw.end());
  return true;
}

void FrameReader::Feed(std::span<const uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

FrameReader::Result FrameReader::Next() {
  Result r;
  // Skip wake bytes and noise up to the next start byte.
  const auto start = std::find(buffer_.begin(), buffer_.end(), kStartByte);
  buffer_.erase(buffer_.begin(), start);
  if (buffer_.size() <= kOffsetLength) return r;
  const size_t n = buffer_[kOffsetLength] + kFrameOverhead;
  if (buffer_.size() < n) return r;
  const std::span<const uint8_t> b(buffer_);
  if (ParseFrame(b.first(n), 0, r.frame)) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(n));
    r.status = Status::kFrame;
    return r;
  }
  if (MayBeShortLength(b)) {
    if (buffer_.size() < n + 1) return r;
    if (ParseFrame(b.first(n + 1), 1, r.frame)) {
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(n + 1));
      r.status = Status::kFrame;
      return r;
    }
  }
  // A bad frame: give it up and search again after its start byte.
  r.status = Status::kDropped;
  r.discarded.assign(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(n));
  buffer_.erase(buffer_.begin());
  return r;
}

}  // namespace qv::sim
