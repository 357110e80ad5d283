#pragma once

#include <string>

namespace qv {

// Directory of the running executable with its trailing separator, resolved
// from /proc/self/exe (on Windows from the module's file name); the current
// directory if that cannot be read.
std::string ExecutableDir();

}  // namespace qv
