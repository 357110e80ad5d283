// A PostgreSQL server of a test's own (the script pg_cluster beside this
// file, whose path the build gives as PG_CLUSTER): made and started when constructed, stopped and
// removed with all it holds when destroyed, also when the test fails.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "journal/core/pg_link.h"

namespace qv::test {

class PgCluster {
 public:
  // `options`: those of "pg_cluster start" ("sync low" for the benchmarks).
  explicit PgCluster(std::string options = "") : options_(std::move(options)) {
    if (Script("init", dir_) && !dir_.empty()) started_ = Start();
  }
  ~PgCluster() {
    std::string ignored;
    if (!dir_.empty()) Script("destroy " + dir_, ignored);
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // Whether the server was made and first started.
  bool Up() const { return started_; }
  std::string ConnInfo(const std::string& database = "postgres",
                       const std::string& user = "postgres") const {
    return "host=" + dir_ + " user=" + user + " dbname=" + database;
  }
  // A stopped server cuts every connection (a fast shutdown).
  bool Stop() {
    std::string ignored;
    return Script("stop " + dir_, ignored);
  }
  bool Start() {
    std::string ignored;
    return Script("start " + dir_ + " " + options_, ignored);
  }
  // Runs `sql` as the server's superuser in `database`; its rows, or a
  // single row holding "error: ..." when it failed.
  PgRows Sql(const std::string& sql, const std::string& database = "postgres") const {
    PgLink link;
    std::string error;
    PgRows rows;
    if (link.Connect(ConnInfo(database), error) != FactoryOutcome::kDone ||
        link.Exec(sql, error, &rows) != FactoryOutcome::kDone) {
      return {{"error: " + error}};
    }
    return rows;
  }
  // The first value of the first row of `sql`, "" for none.
  std::string Value(const std::string& sql, const std::string& database = "postgres") const {
    const PgRows rows = Sql(sql, database);
    return rows.empty() || rows[0].empty() ? "" : rows[0][0].value_or("");
  }

 private:
  // PG_CLUSTER: the script's path, given by the build.
  static bool Script(const std::string& args, std::string& out) {
    FILE* p = ::popen((std::string(PG_CLUSTER) + " " + args).c_str(), "r");
    if (!p) return false;
    char buf[256];
    out.clear();
    while (std::fgets(buf, sizeof buf, p))
      out += buf;
    while (!out.empty() && out.back() == '\n')
      out.pop_back();
    const int status = ::pclose(p);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string options_;
  std::string dir_;
  bool started_ = false;
};

}  // namespace qv::test
