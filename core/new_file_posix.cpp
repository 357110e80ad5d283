#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/ini_file.h"
#include "core/new_file.h"

namespace qv {
namespace {

std::string Stamp(const std::tm& when) {
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &when);
  return std::string(text, n);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void ReplaceFile(const std::string& path, const FileWriter& write) {
  // A hidden temporary name no program lists; renamed once the file is
  // whole and on the disk.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = folder + "." + name + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw FileWriteError(path);
  // Readable by everyone like any other file the program writes.
  const bool readable = ::fchmod(fd, 0644) == 0;
  ::close(fd);
  const bool ok =
      readable && write(tmp) && SyncFile(tmp) && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    throw FileWriteError(path);
  }
  SyncFolder(folder);
}

std::string SaveNewFile(const std::string& folder, const std::string& stem,
                        const std::string& extension, const std::tm& when,
                        const FileWriter& write) {
  const std::string base = folder + stem + "-" + Stamp(when);
  std::string path = base + extension;
  for (int n = 2; Exists(path); ++n)
    path = base + "-" + std::to_string(n) + extension;
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) throw FileWriteError(path);
  ReplaceFile(path, write);
  return path;
}

}  // namespace qv
