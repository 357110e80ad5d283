// Address entry in the grids: the keys an address cell takes, and the
// numbering of the selected rows that follow one row's address.
#include <QTest>
#include <array>

#include "ui/address_numbering.h"

using namespace qv;

namespace {

// Rows 4, 6, 7 and 10 (shown 1-based) are selected, row 5 holds 555; the
// row numbered from holds `address`. A double-click (`all`) numbers every
// selected row below within MeterNum, Enter the next one only; "none": an
// address that is no number, or no such row, numbers nothing. A number too
// long for the cell (`length`) is not given.
struct NumberingCase {
  const char* address;
  int meters, row;
  bool all;
  const char* numbered;
  int length = kAddressMaxLength;
};
// clang-format off
const NumberingCase kNumbering[] = {
    {"100", 8, 2, true, "100: 3=101 5=102 6=103"}, {" 0099 ", 20, 2, false, "99: 3=100"},
    {"7", 20, 9, false, "7:"}, {"", 20, 9, false, "none"},
    {"9999999998", 20, 2, true, "9999999998: 3=9999999999"},
    {"9999999998", 20, 2, true, "9999999998: 3=9999999999 5=10000000000 6=10000000001 9=10000000002", 14},
    {"", 20, 2, true, "none"}, {"  ", 20, 2, true, "none"}, {"12a", 20, 2, true, "none"},
    {"1.5", 20, 2, true, "none"}, {"0x10", 20, 2, true, "none"},
    {"99999999999999999999", 20, 2, true, "none"}, {"100", 20, 20, true, "none"},
    {"100", 20, -1, true, "none"}};
// clang-format on

QString Text(const std::optional<AddressNumbering>& n) {
  QString numbered = n ? QString::fromStdString(n->Normalised) + ":" : "none";
  for (const auto& [row, address] : n ? n->Assigned : decltype(n->Assigned){})
    numbered += QString(" %1=%2").arg(row).arg(QString::fromStdString(address));
  return numbered;
}

}  // namespace

class AddressNumberingTest : public QObject {
  Q_OBJECT

 private slots:
  void KeysAnAddressCellTakes() {
    for (char32_t c = U'0'; c <= U'9'; ++c)
      QCOMPARE(ClassifyAddressKey(c), AddressKey::kPass);
    QCOMPARE(ClassifyAddressKey(0x08), AddressKey::kPass);
    QCOMPARE(ClassifyAddressKey(0x0D), AddressKey::kRenumber);
    for (char32_t c : {U'a', U'F', U' ', U'-', U'.', U'\x16', U'\x1B', U'０'})
      QCOMPARE(ClassifyAddressKey(c), AddressKey::kReject);
  }

  // The rows' own addresses, and the same numbering over texts standing in
  // for them (the parameter window's new addresses): the rows' addresses
  // are then not read.
  void NumbersTheSelectedRowsThatFollow() {
    for (const NumberingCase& c : kNumbering) {
      std::array<MeterRow, kMeterRows> rows;
      for (int r : {3, 5, 6, 9})
        rows[r].Selected = true;
      rows[4].Address = "555";
      std::array<std::string, kMeterRows> texts;
      if (c.row >= 0 && c.row < kMeterRows) texts[c.row] = c.address;
      const QString context = QString("%1 row %2").arg(c.address).arg(c.row);
      QCOMPARE(
          Text(NumberFollowingTexts(texts, rows, c.meters, c.row, c.all, c.length)) + " " + context,
          QString(c.numbered) + " " + context);
      if (c.row >= 0 && c.row < kMeterRows) rows[c.row].Address = c.address;
      rows[4].Address = "junk";  // only the row numbered from is read
      QCOMPARE(Text(NumberFollowingRows(rows, c.meters, c.row, c.all, c.length)) + " " + context,
               QString(c.numbered) + " " + context);
    }
  }
};

QTEST_GUILESS_MAIN(AddressNumberingTest)
#include "address_numbering_test.moc"
