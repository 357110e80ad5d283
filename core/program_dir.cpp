#include "core/program_dir.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <climits>
#endif

namespace qv {

#if defined(_WIN32)

std::string ExecutableDir() {
  char buf[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return ".\\";
  std::string path(buf, n);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

#else

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

#endif

}  // namespace qv
