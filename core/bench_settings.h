// Settings of the bench around the meters: the weighing scale on its own
// line (section "Scale" of comminfo.ini), the calibration due date of the
// reference equipment and the factory server's connection text (sections
// "Bench" and "Factory" of sysinfo.ini), with the rules that decide which
// values they take.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// What the scale speaks on its line, in the order of the settings list.
enum class ScaleProtocol : int32_t { kMtSics = 0, kSbi = 1, kAscii = 2 };
// The names comminfo.ini and the settings window use, by protocol.
inline constexpr std::array<std::string_view, 3> kScaleProtocolNames = {"mt-sics", "sbi", "ascii"};
// The protocol a name stands for (without regard to case), or nothing.
std::optional<ScaleProtocol> ScaleProtocolNamed(std::string_view name);
std::string_view ScaleProtocolName(ScaleProtocol protocol);

// The line settings a scale port is opened with. `Parity` is 'N', 'E' or 'O'.
struct ScaleLine {
  int32_t Baud = 0;
  int32_t DataBits = 0;
  char Parity = 'N';
  int32_t StopBits = 0;
  bool operator==(const ScaleLine&) const = default;
};
// The line a protocol's scales are delivered with: MT-SICS 9600 8N1, SBI
// 1200 7O1, continuous ASCII 2400 7E1.
ScaleLine DefaultScaleLine(ScaleProtocol protocol);

// The four line keys of the "Scale" section, in file order.
enum class ScaleLineKey { kBaud, kDataBits, kParity, kStopBits };
inline constexpr std::array<ScaleLineKey, 4> kScaleLineKeys = {
    ScaleLineKey::kBaud, ScaleLineKey::kDataBits, ScaleLineKey::kParity, ScaleLineKey::kStopBits};
// "Baud", "DataBits", "Parity", "StopBits".
std::string_view ScaleLineKeyName(ScaleLineKey key);
// The values a key takes, as text, in the order of the settings lists.
std::span<const std::string_view> ScaleLineChoices(ScaleLineKey key);

// The scale of the bench. A line setting left unset follows the protocol.
struct ScaleSettings {
  // A serial device ("/dev/ttyUSB1", "/dev/serial/by-id/...") or
  // "tcp:HOST:PORT"; empty: the bench has no scale.
  std::string Device;
  ScaleProtocol Protocol = ScaleProtocol::kMtSics;
  std::optional<int32_t> Baud;
  std::optional<int32_t> DataBits;
  std::optional<char> Parity;
  std::optional<int32_t> StopBits;

  bool Present() const { return !Device.empty(); }
  // The line to open: each setting given, or the protocol's default.
  ScaleLine Line() const;
  // A protocol chosen anew: its own line, every setting unset.
  void ChooseProtocol(ScaleProtocol protocol);
};

// A line setting as text: the one given (empty when it follows the
// protocol), or the one in force.
std::string ScaleLineSetting(const ScaleSettings& scale, ScaleLineKey key);
std::string ScaleLineValue(const ScaleSettings& scale, ScaleLineKey key);
// Gives the key one of its choices (blanks around ignored), or, with an
// empty text, lets it follow the protocol. Any other text changes nothing:
// false.
bool SetScaleLine(ScaleSettings& scale, ScaleLineKey key, std::string_view text);

// Whether `text` is a calendar date written "yyyy-mm-dd" (2026-02-29 is not).
bool IsCalibrationDate(std::string_view text);

// Whether a libpq connection text carries a password: a "password" keyword
// ("host=db password=x"), a password in a URI's user part
// ("postgresql://user:x@db") or a "password" parameter of a URI. The
// settings file never holds one; libpq's password file does.
bool HoldsPassword(std::string_view conninfo);

}  // namespace qv
