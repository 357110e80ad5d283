#pragma once

#include <string>

namespace qv {

// Directory of the running executable with its trailing '/', resolved from
// /proc/self/exe; "./" if that cannot be read.
std::string ExecutableDir();

}  // namespace qv
