#include "protocol/address_numbering.h"

#include <gtest/gtest.h>

#include <array>

namespace qv {
namespace {

using Assigned = std::vector<std::pair<int, std::string>>;

TEST(AddressNumbering, KeysAnAddressCellTakes) {
  for (char32_t c = U'0'; c <= U'9'; ++c)
    EXPECT_EQ(ClassifyAddressKey(c), AddressKey::kPass);
  EXPECT_EQ(ClassifyAddressKey(0x08), AddressKey::kPass);
  EXPECT_EQ(ClassifyAddressKey(0x0D), AddressKey::kRenumber);
  for (char32_t c : {U'a', U'F', U' ', U'-', U'.', U'\x16', U'\x1B', U'０'})
    EXPECT_EQ(ClassifyAddressKey(c), AddressKey::kReject) << static_cast<uint32_t>(c);
}

class Numbering : public ::testing::Test {
 protected:
  void SetUp() override {
    rows[2].Address = "100";
    for (int r : {3, 5, 6, 9})
      rows[r].Selected = true;
    rows[4].Address = "555";
  }
  std::array<MeterRow, kMeterRows> rows;
};

TEST_F(Numbering, DoubleClickNumbersEverySelectedRowBelow) {
  // Rows 4, 6 and 7 (shown 1-based) selected, row 5 not; MeterNum 8 leaves
  // the selected row 10 out.
  auto n = NumberFollowingRows(rows, 8, 2, true);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->Normalised, "100");
  EXPECT_EQ(n->Assigned, (Assigned{{3, "101"}, {5, "102"}, {6, "103"}}));
}

TEST_F(Numbering, EnterNumbersTheNextSelectedRowOnly) {
  rows[2].Address = " 0099 ";
  auto n = NumberFollowingRows(rows, 20, 2, false);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->Normalised, "99");
  EXPECT_EQ(n->Assigned, (Assigned{{3, "100"}}));
  // The last selected row has nobody after it.
  n = NumberFollowingRows(rows, 20, 9, false);
  ASSERT_FALSE(n);  // row 10 has no address
  rows[9].Address = "7";
  n = NumberFollowingRows(rows, 20, 9, false);
  ASSERT_TRUE(n);
  EXPECT_TRUE(n->Assigned.empty());
}

TEST_F(Numbering, AnAddressThatIsNoNumberNumbersNothing) {
  for (const char* text : {"", "  ", "12a", "1.5", "0x10", "99999999999999999999"}) {
    rows[2].Address = text;
    EXPECT_FALSE(NumberFollowingRows(rows, 20, 2, true)) << text;
  }
  EXPECT_FALSE(NumberFollowingRows(rows, 20, 20, true));
  EXPECT_FALSE(NumberFollowingRows(rows, 20, -1, true));
}

TEST_F(Numbering, NumbersTooLongForTheCellAreNotGiven) {
  rows[2].Address = "9999999998";
  auto n = NumberFollowingRows(rows, 20, 2, true);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->Assigned, (Assigned{{3, "9999999999"}}));
}

}  // namespace
}  // namespace qv
