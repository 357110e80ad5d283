// One connection to the factory's PostgreSQL server through libpq, for a
// thread that must never hang: connecting and every statement go through
// libpq's non-blocking calls and wait in poll() on the server's socket and
// on a wake descriptor, so that a stop request ends any wait at once, and
// every wait has a deadline, so that a server gone silent (a cut network)
// is given up on rather than waited for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journal/core/factory_outcome.h"

struct pg_conn;

namespace qv {

// The rows of a query, each value as text (nothing for NULL).
using PgRows = std::vector<std::vector<std::optional<std::string>>>;

class PgLink {
 public:
  // How long a connection attempt may take, and one statement: far more
  // than a batch needs on a working network (tens of milliseconds), so only
  // a server or a network that stopped answering reaches them.
  static constexpr int kConnectMs = 10000;
  static constexpr int kStatementMs = 30000;

  // `wake_fd`: a descriptor that becomes readable when every wait is to end
  // (-1: none).
  explicit PgLink(int wake_fd = -1) : wake_fd_(wake_fd) {}
  ~PgLink();
  PgLink(const PgLink&) = delete;
  PgLink& operator=(const PgLink&) = delete;

  // Connects with `conninfo` (a libpq connection string, a URI or
  // "service=NAME"; passwords come from libpq's password or service file).
  FactoryOutcome Connect(const std::string& conninfo, std::string& error);
  bool Connected() const { return conn_ != nullptr; }
  // Runs one statement with text parameters (nullptr for NULL), or, with
  // none, any number of statements; the rows (of the last) go to `rows`
  // when given. After a failure that leaves the connection in
  // doubt (lost, timed out, stopped) the connection is closed.
  FactoryOutcome Exec(const std::string& sql, const std::vector<const char*>& params,
                      std::string& error, PgRows* rows = nullptr);
  FactoryOutcome Exec(const std::string& sql, std::string& error, PgRows* rows = nullptr) {
    return Exec(sql, {}, error, rows);
  }
  // The SQLSTATE of the last statement that failed on the server.
  const std::string& SqlState() const { return sql_state_; }
  void Close();

 private:
  // Waits until the socket is ready for `events`; otherwise closes the
  // connection and says why.
  FactoryOutcome Wait(short events, long long deadline_ms, std::string& error);
  FactoryOutcome Lost(std::string& error);

  int wake_fd_;
  pg_conn* conn_ = nullptr;
  std::string sql_state_;
};

}  // namespace qv
