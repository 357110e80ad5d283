// How an exchange with the factory server ended, in every build (the
// Windows build has no PostgreSQL client and says so).
#pragma once

namespace qv {

enum class FactoryOutcome {
  kDone,
  kUnreachable,  // no connection, or it was lost or went silent: worth trying again
  kRefused,      // the server said no: rights, a newer schema, a bench name taken
  kNoJournal,    // the local journal is missing or cannot be read
  kUnavailable,  // this build has no PostgreSQL client
  kStopped,      // the owner asked to stop
};

}  // namespace qv
