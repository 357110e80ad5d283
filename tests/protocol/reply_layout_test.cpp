// The read-address answer found in the bytes a line received. (The
// coefficient read-back is read through the window against bench-sim.)
#include <gtest/gtest.h>

#include "protocol/reply_layout.h"
#include "support/hex.h"

namespace qv {
namespace {

using test::Hex;

struct AddressCase {
  const char* received;
  const char* address;  // nullptr: not accepted
};

TEST(AddressReplyTest, TheFirstReplyWithItsSumAndControlGivesTheAddress) {
  const AddressCase cases[] = {
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16", "00002024000001"},
      {"FE FE 00 68 55 0A 0B 0C 0D 0E 0F 10 A3 04 81 0A 01 00 4B", "100F0E0D0C0B0A"},
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 36 16", nullptr},  // sum
      {"68 55 01 00 00 24 20 00 00 A4 04 81 0A 01 00 36 16", nullptr},  // control
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00", nullptr},        // short
      // Only the first 68 55 counts.
      {"68 55 00 68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16", nullptr},
  };
  for (const AddressCase& c : cases) {
    const std::optional<std::string> got = AcceptAddressReply(Hex(c.received));
    EXPECT_EQ(got.has_value(), c.address != nullptr) << c.received;
    if (got && c.address) {
      EXPECT_EQ(*got, c.address) << c.received;
    }
  }
}

}  // namespace
}  // namespace qv
