#include "serial/serial_device.h"

namespace qv {

bool ParseLineFormat(std::string_view text, LineSettings& line) {
  if (text.size() != 3 || text[0] < '5' || text[0] > '8' || (text[2] != '1' && text[2] != '2')) {
    return false;
  }
  const char p = static_cast<char>(text[1] & ~0x20);  // either case
  const Parity parity = p == 'N' ? Parity::kNone : p == 'O' ? Parity::kOdd : Parity::kEven;
  if (p != 'N' && p != 'O' && p != 'E') return false;
  line.DataBits = static_cast<uint8_t>(text[0] - '0');
  line.ParityMode = parity;
  line.StopBits = static_cast<uint8_t>(text[2] - '0');
  return true;
}

}  // namespace qv
