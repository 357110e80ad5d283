#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "serial/device_access.h"
#include "serial/tcp_device.h"

namespace qv {

std::string DeviceOpenProblem(const std::string& path) {
  // A serial device server is no file: it did not accept the connection.
  if (IsTcpDevice(path)) return "串口服务器" + path + "无法连接";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const bool missing = errno == ENOENT;
    return "设备" + path + (missing ? "不存在" : "无访问权限");
  }
  const bool denied = ::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
  if (denied) {
    // Serial devices belong to a group (dialout, uucp) whose members may
    // use them; membership takes effect at the next login.
    const struct group* g = ::getgrgid(st.st_gid);
    const std::string group = g ? g->gr_name : std::to_string(st.st_gid);
    return "设备" + path + "无访问权限（请将当前用户加入" + group + "组后重新登录）";
  }
  return "设备" + path + "无法打开（可能已被其他程序占用或不是串口）";
}

}  // namespace qv
