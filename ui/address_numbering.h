// Address entry in the detection grids: which typed keys an address cell
// takes, and the numbering of the following selected rows from one row's
// address (Enter gives the next selected row the next number, a double
// click numbers every selected row below in turn).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/shared_state.h"

namespace qv {

// An address cell holds at most this many characters.
inline constexpr int kAddressMaxLength = 10;

enum class AddressKey {
  kPass,      // a digit or backspace: typed as usual
  kReject,    // anything else: beep, discarded
  kRenumber,  // Enter: beep, then number the next selected row
};

// `c` is the character a key press produces (0x08 backspace, 0x0D Enter).
AddressKey ClassifyAddressKey(char32_t c);

struct AddressNumbering {
  std::string Normalised;  // the row's own address in plain decimal
  // (row, address) for each row that gets a new number, in row order.
  std::vector<std::pair<int, std::string>> Assigned;
};

// Numbers the selected rows below `row` among rows 0..meter_num-1: the
// first one only (`all_following` false, Enter) or each in turn (true,
// double click), from the row's address + 1. Nothing when the address is not
// a decimal integer. A number longer than `max_length` digits (the cell's
// capacity) is not given: numbering stops there.
std::optional<AddressNumbering> NumberFollowingRows(std::span<const MeterRow> rows, int meter_num,
                                                    int row, bool all_following,
                                                    int max_length = kAddressMaxLength);
// The same over `texts` (one per row) in place of the rows' addresses: the
// new addresses of the parameter window.
std::optional<AddressNumbering> NumberFollowingTexts(std::span<const std::string> texts,
                                                     std::span<const MeterRow> rows, int meter_num,
                                                     int row, bool all_following, int max_length);

}  // namespace qv
