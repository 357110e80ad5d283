#include "ui/address_numbering.h"

#include <algorithm>
#include <charconv>

namespace qv {
namespace {

constexpr char32_t kBackspace = 0x08;
constexpr char32_t kEnter = 0x0D;

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A 64-bit decimal integer, optionally signed; nothing else.
std::optional<int64_t> DecimalInteger(const std::string& text) {
  std::string t = Trimmed(text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return std::nullopt;
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return v;
}

}  // namespace

AddressKey ClassifyAddressKey(char32_t c) {
  if ((c >= U'0' && c <= U'9') || c == kBackspace) return AddressKey::kPass;
  if (c == kEnter) return AddressKey::kRenumber;
  return AddressKey::kReject;
}

std::optional<AddressNumbering> NumberFollowingRows(std::span<const MeterRow> rows, int meter_num,
                                                    int row, bool all_following, int max_length) {
  const int count = std::clamp(meter_num, 0, static_cast<int>(rows.size()));
  if (row < 0 || row >= static_cast<int>(rows.size())) return std::nullopt;
  const std::optional<int64_t> start = DecimalInteger(rows[row].Address);
  if (!start) return std::nullopt;
  AddressNumbering out;
  out.Normalised = std::to_string(*start);
  int64_t next = *start;
  for (int r = row + 1; r < count; ++r) {
    if (!rows[r].Selected) continue;
    if (next == INT64_MAX) break;
    std::string text = std::to_string(++next);
    if (static_cast<int>(text.size()) > max_length) break;
    out.Assigned.emplace_back(r, std::move(text));
    if (!all_following) break;
  }
  return out;
}

std::optional<AddressNumbering> NumberFollowingTexts(std::span<const std::string> texts,
                                                     std::span<const MeterRow> rows, int meter_num,
                                                     int row, bool all_following, int max_length) {
  std::vector<MeterRow> copy(rows.begin(), rows.end());
  for (size_t r = 0; r < copy.size() && r < texts.size(); ++r)
    copy[r].Address = texts[r];
  return NumberFollowingRows(copy, meter_num, row, all_following, max_length);
}

}  // namespace qv
