// Why a serial device could not be opened, in the words of the operation
// log: the device is missing, the program's user may not use it (naming the
// group that may, which the user can be made a member of), or it is held
// by another program; a serial device server ("tcp:...") could not be
// connected to.
#pragma once

#include <string>

namespace qv {

// The reason, as a Chinese phrase naming `path`, for instance
// "设备/dev/ttyUSB0无访问权限（请将当前用户加入dialout组后重新登录）".
std::string DeviceOpenProblem(const std::string& path);

}  // namespace qv
