#include "core/bench_settings.h"

#include <algorithm>

#include "core/text.h"

namespace qv {

namespace {

// clang-format off
constexpr std::string_view kBauds[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600",
                                       "115200"};
constexpr std::string_view kDataBits[] = {"7", "8"};
constexpr std::string_view kParities[] = {"N", "E", "O"};
constexpr std::string_view kStopBits[] = {"1", "2"};
// clang-format on

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

int32_t Number(std::string_view digits) {
  int32_t v = 0;
  for (char c : digits)
    v = v * 10 + (c - '0');
  return v;
}

// The "password" parameter among a URI's "name=value&..." parameters.
bool QueryHoldsPassword(std::string_view query) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view param = query.substr(0, amp);
    if (TrimText(param.substr(0, param.find('='))) == "password") return true;
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return false;
}

}  // namespace

std::optional<ScaleProtocol> ScaleProtocolNamed(std::string_view name) {
  const std::string folded = Folded(TrimText(name));
  for (size_t i = 0; i < kScaleProtocolNames.size(); ++i) {
    if (folded == kScaleProtocolNames[i]) return static_cast<ScaleProtocol>(i);
  }
  return std::nullopt;
}

std::string_view ScaleProtocolName(ScaleProtocol protocol) {
  return kScaleProtocolNames.at(static_cast<size_t>(protocol));
}

ScaleLine DefaultScaleLine(ScaleProtocol protocol) {
  switch (protocol) {
    case ScaleProtocol::kSbi:
      return {1200, 7, 'O', 1};
    case ScaleProtocol::kAscii:
      return {2400, 7, 'E', 1};
    case ScaleProtocol::kMtSics:
      break;
  }
  return {9600, 8, 'N', 1};
}

std::string_view ScaleLineKeyName(ScaleLineKey key) {
  switch (key) {
    case ScaleLineKey::kBaud:
      return "Baud";
    case ScaleLineKey::kDataBits:
      return "DataBits";
    case ScaleLineKey::kParity:
      return "Parity";
    case ScaleLineKey::kStopBits:
      break;
  }
  return "StopBits";
}

std::span<const std::string_view> ScaleLineChoices(ScaleLineKey key) {
  switch (key) {
    case ScaleLineKey::kBaud:
      return kBauds;
    case ScaleLineKey::kDataBits:
      return kDataBits;
    case ScaleLineKey::kParity:
      return kParities;
    case ScaleLineKey::kStopBits:
      break;
  }
  return kStopBits;
}

ScaleLine ScaleSettings::Line() const {
  ScaleLine line = DefaultScaleLine(Protocol);
  line.Baud = Baud.value_or(line.Baud);
  line.DataBits = DataBits.value_or(line.DataBits);
  line.Parity = Parity.value_or(line.Parity);
  line.StopBits = StopBits.value_or(line.StopBits);
  return line;
}

void ScaleSettings::ChooseProtocol(ScaleProtocol protocol) {
  Protocol = protocol;
  Baud.reset();
  DataBits.reset();
  Parity.reset();
  StopBits.reset();
}

std::string ScaleLineSetting(const ScaleSettings& scale, ScaleLineKey key) {
  bool given = false;
  switch (key) {
    case ScaleLineKey::kBaud:
      given = scale.Baud.has_value();
      break;
    case ScaleLineKey::kDataBits:
      given = scale.DataBits.has_value();
      break;
    case ScaleLineKey::kParity:
      given = scale.Parity.has_value();
      break;
    case ScaleLineKey::kStopBits:
      given = scale.StopBits.has_value();
      break;
  }
  return given ? ScaleLineValue(scale, key) : std::string();
}

std::string ScaleLineValue(const ScaleSettings& scale, ScaleLineKey key) {
  const ScaleLine line = scale.Line();
  switch (key) {
    case ScaleLineKey::kBaud:
      return std::to_string(line.Baud);
    case ScaleLineKey::kDataBits:
      return std::to_string(line.DataBits);
    case ScaleLineKey::kParity:
      return std::string(1, line.Parity);
    case ScaleLineKey::kStopBits:
      break;
  }
  return std::to_string(line.StopBits);
}

bool SetScaleLine(ScaleSettings& scale, ScaleLineKey key, std::string_view text) {
  std::string t(TrimText(text));
  // A parity letter in either case.
  if (key == ScaleLineKey::kParity && t.size() == 1 && t[0] >= 'a' && t[0] <= 'z')
    t[0] = static_cast<char>(t[0] - 'a' + 'A');
  const auto choices = ScaleLineChoices(key);
  if (!t.empty() && std::find(choices.begin(), choices.end(), t) == choices.end()) return false;
  const std::optional<int32_t> number =
      t.empty() ? std::nullopt : std::optional<int32_t>(Number(t));
  switch (key) {
    case ScaleLineKey::kBaud:
      scale.Baud = number;
      break;
    case ScaleLineKey::kDataBits:
      scale.DataBits = number;
      break;
    case ScaleLineKey::kParity:
      scale.Parity = t.empty() ? std::nullopt : std::optional<char>(t[0]);
      break;
    case ScaleLineKey::kStopBits:
      scale.StopBits = number;
      break;
  }
  return true;
}

bool IsCalibrationDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  const int32_t year = Number(text.substr(0, 4));
  const int32_t month = Number(text.substr(5, 2));
  const int32_t day = Number(text.substr(8, 2));
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool HoldsPassword(std::string_view conninfo) {
  const std::string folded = Folded(TrimText(conninfo));
  const std::string_view s = folded;
  for (std::string_view scheme : {"postgresql://", "postgres://"}) {
    if (!s.starts_with(scheme)) continue;
    const std::string_view rest = s.substr(scheme.size());
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos && authority.substr(0, at).find(':') != std::string_view::npos)
      return true;
    const size_t query = rest.find('?');
    return query != std::string_view::npos && QueryHoldsPassword(rest.substr(query + 1));
  }
  // "keyword = value" terms: a "password" keyword begins the text or follows
  // a blank, and an '=' follows it after blanks at most.
  for (size_t at = s.find("password"); at != std::string_view::npos;
       at = s.find("password", at + 1)) {
    if (at > 0 && !IsBlank(s[at - 1])) continue;
    size_t next = at + 8;
    while (next < s.size() && IsBlank(s[next]))
      ++next;
    if (next < s.size() && s[next] == '=') return true;
  }
  return false;
}

}  // namespace qv
