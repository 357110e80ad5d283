// Files the program makes for people to open (workbooks, verification
// records): written under a hidden temporary name beside their final one
// and renamed into place once whole and on the disk, so a name never shows
// half a file, whatever happens to the program meanwhile.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace qv {

// Writes the file's content to the path it is given; false when that fails.
using FileWriter = std::function<bool(const std::string& path)>;

// Saves a new file "<folder><stem>-yyyyMMdd-hhmmss<extension>" of the local
// time `when` (the folder is made when missing; a name already taken gets
// "-2", "-3" .. before the extension) and returns its path. Throws
// FileWriteError naming that path when it cannot be saved; nothing is left
// behind then.
std::string SaveNewFile(const std::string& folder, const std::string& stem,
                        const std::string& extension, const std::tm& when, const FileWriter& write);

// Writes `path` the same way, replacing a file of that name. Throws
// FileWriteError naming it when it cannot be written; the file that was
// there stays as it was then.
void ReplaceFile(const std::string& path, const FileWriter& write);

}  // namespace qv
