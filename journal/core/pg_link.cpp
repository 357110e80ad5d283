#include "journal/core/pg_link.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <string_view>

namespace qv {

namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// libpq's messages run over lines (a hint indented by a tab below the
// error); a status line holds them as one.
std::string Trimmed(const char* message) {
  std::string text;
  for (const char* c = message ? message : ""; *c; ++c) {
    const bool blank = *c == '\n' || *c == '\t' || *c == ' ';
    if (!blank) {
      text += *c;
    } else if (!text.empty() && text.back() != ' ') {
      text += ' ';
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Whether a failed connection was turned away (a password missing or
// wrong, no entry for this client) rather than not made: libpq gives no
// code for it, only the server's words.
bool TurnedAway(pg_conn* conn, std::string_view message) {
  if (PQconnectionNeedsPassword(conn) || PQconnectionUsedPassword(conn)) return true;
  for (std::string_view words :
       {"authentication failed", "no pg_hba.conf entry", "permission denied"}) {
    if (message.find(words) != std::string_view::npos) return true;
  }
  return false;
}

// Which SQLSTATE classes are passing conditions worth trying again: a lost
// connection (08), too few resources (53), a server shutting down or
// restarting (57), a conflict between transactions (40), a lock not had
// (55P03), a system error (58). Anything else is the server's answer.
FactoryOutcome OutcomeOf(std::string_view state) {
  const std::string_view kind = state.substr(0, 2);
  if (state.empty() || kind == "08" || kind == "53" || kind == "57" || kind == "40" ||
      kind == "58" || state == "55P03") {
    return FactoryOutcome::kUnreachable;
  }
  return FactoryOutcome::kRefused;
}

}  // namespace

PgLink::~PgLink() {
  Close();
}

void PgLink::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

FactoryOutcome PgLink::Lost(std::string& error) {
  error = Trimmed(conn_ ? PQerrorMessage(conn_) : "no connection");
  if (error.empty()) error = "the connection was lost";
  Close();
  return FactoryOutcome::kUnreachable;
}

FactoryOutcome PgLink::Wait(short events, long long deadline_ms, std::string& error) {
  for (;;) {
    const long long left = deadline_ms - NowMs();
    if (left <= 0) {
      error = "the server did not answer in time";
      Close();
      return FactoryOutcome::kUnreachable;
    }
    pollfd fds[2] = {{PQsocket(conn_), events, 0}, {wake_fd_, POLLIN, 0}};
    const int n = ::poll(fds, wake_fd_ >= 0 ? 2 : 1, static_cast<int>(left));
    if (n < 0 && errno != EINTR) {
      error = "poll failed";
      Close();
      return FactoryOutcome::kUnreachable;
    }
    if (wake_fd_ >= 0 && fds[1].revents) {
      error = "stopped";
      Close();
      return FactoryOutcome::kStopped;
    }
    if (n > 0) return FactoryOutcome::kDone;
  }
}

FactoryOutcome PgLink::Connect(const std::string& conninfo, std::string& error) {
  Close();
  sql_state_.clear();
  // The text is expanded as a whole connection string (or URI, or service)
  // in place of "dbname"; what it names itself overrides the keys before it.
  const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"10", "qorvantis", conninfo.c_str(), nullptr};
  conn_ = PQconnectStartParams(keys, values, 1);
  if (!conn_) {
    error = "out of memory";
    return FactoryOutcome::kUnreachable;
  }
  const long long deadline = NowMs() + kConnectMs;
  PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
  while (PQstatus(conn_) != CONNECTION_BAD && poll != PGRES_POLLING_OK &&
         poll != PGRES_POLLING_FAILED) {
    const FactoryOutcome ready =
        Wait(poll == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline, error);
    if (ready != FactoryOutcome::kDone) return ready;
    poll = PQconnectPoll(conn_);
  }
  if (PQstatus(conn_) != CONNECTION_OK) {
    error = Trimmed(PQerrorMessage(conn_));
    const bool refused = TurnedAway(conn_, error);
    Close();
    return refused ? FactoryOutcome::kRefused : FactoryOutcome::kUnreachable;
  }
  if (PQsetnonblocking(conn_, 1) != 0) return Lost(error);
  return FactoryOutcome::kDone;
}

FactoryOutcome PgLink::Exec(const std::string& sql, const std::vector<const char*>& params,
                            std::string& error, PgRows* rows) {
  sql_state_.clear();
  if (!conn_) {
    error = "not connected";
    return FactoryOutcome::kUnreachable;
  }
  // Without parameters the text may hold several statements (a schema
  // step), which only the simple protocol takes.
  const int sent = params.empty()
                       ? PQsendQuery(conn_, sql.c_str())
                       : PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params.size()),
                                           nullptr, params.data(), nullptr, nullptr, 0);
  if (!sent) return Lost(error);
  const long long deadline = NowMs() + kStatementMs;
  // A large batch may not fit the socket's buffer at once.
  for (int left; (left = PQflush(conn_)) != 0;) {
    if (left < 0) return Lost(error);
    const FactoryOutcome ready = Wait(POLLIN | POLLOUT, deadline, error);
    if (ready != FactoryOutcome::kDone) return ready;
    if (!PQconsumeInput(conn_)) return Lost(error);
  }
  FactoryOutcome outcome = FactoryOutcome::kDone;
  for (;;) {
    while (PQisBusy(conn_)) {
      const FactoryOutcome ready = Wait(POLLIN, deadline, error);
      if (ready != FactoryOutcome::kDone) return ready;
      if (!PQconsumeInput(conn_)) return Lost(error);
    }
    PGresult* result = PQgetResult(conn_);
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK && rows) {
      rows->clear();
      for (int r = 0; r < PQntuples(result); ++r) {
        auto& row = rows->emplace_back();
        for (int c = 0; c < PQnfields(result); ++c) {
          if (PQgetisnull(result, r, c)) {
            row.emplace_back();
          } else {
            row.emplace_back(std::string(PQgetvalue(result, r, c),
                                         static_cast<size_t>(PQgetlength(result, r, c))));
          }
        }
      }
    } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK &&
               outcome == FactoryOutcome::kDone) {
      const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
      sql_state_ = state ? state : "";
      error = Trimmed(PQresultErrorMessage(result));
      outcome = OutcomeOf(sql_state_);
    }
    PQclear(result);
  }
  if (PQstatus(conn_) == CONNECTION_BAD) {
    if (outcome == FactoryOutcome::kDone) return Lost(error);
    Close();
    return FactoryOutcome::kUnreachable;
  }
  return outcome;
}

}  // namespace qv
