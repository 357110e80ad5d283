#include <windows.h>

#include <string>

#include "serial/device_access.h"
#include "serial/tcp_device.h"

namespace qv {

std::string DeviceOpenProblem(const std::string& path) {
  // A serial device server is no file: it did not accept the connection.
  if (IsTcpDevice(path)) return "串口服务器" + path + "无法连接";
  // Asked again, for the reason: a port that is there but held by another
  // program answers "access denied".
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  const DWORD err = h == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return "设备" + path + "不存在";
  if (err == ERROR_ACCESS_DENIED) return "设备" + path + "无法打开（已被其他程序占用）";
  return "设备" + path + "无法打开（不是串口或驱动未就绪）";
}

}  // namespace qv
