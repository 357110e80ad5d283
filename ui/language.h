// Every window sets its captions from two fixed text sets, by the
// `Language` setting: 1 is English, every other value (0, 2, ...) Chinese.
#pragma once

#include <QString>

#include "core/shared_state.h"

namespace qv {

inline QString ByLanguage(const SystemSettings& s, const char* chinese, const char* english) {
  return QString::fromUtf8(s.English() ? english : chinese);
}

}  // namespace qv
