// `certificate` where the build has no verification records (the Windows
// build, which has neither the journal's SQLite nor cairo and pango).
#include "cli/subcommands.h"

namespace qv::cli {

Outcome Certificate(const Context&, MeterSession*) {
  return {
      Exit::kNoJournal, {}, "certificate: verification records are not available in this build"};
}

}  // namespace qv::cli
