// A results journal opened in a test's folder, as the program opens its own.
#pragma once

#include <memory>
#include <string>

#include "journal/core/journal.h"
#include "journal/core/journal_store.h"

namespace qv::test {

// The journal of `dir`; nothing when it cannot be opened.
inline std::unique_ptr<ResultRecorder> OpenJournal(const std::string& dir) {
  auto journal = std::make_unique<ResultJournal>();
  if (!journal->Open(JournalPath(dir))) return nullptr;
  return journal;
}

}  // namespace qv::test
