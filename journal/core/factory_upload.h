// The bench's results journal sent to the factory's PostgreSQL server.
//
// The local journal stays the record of truth and is the outbox: what the
// server has acknowledged is marked in it (JournalOutbox), and everything
// after the marks waits. One sender sends the waiting records in batches,
// each batch one transaction, in the order they were recorded, keyed by the
// bench's name and the local record id, so a record is never stored twice
// (a batch sent again after its acknowledgement was lost inserts nothing)
// and never lost (the marks move only after the server's commit). On every
// connection the sender learns from the server what it holds of the bench
// and moves its marks to it: forward after a lost acknowledgement, back for
// a server that lost records or is new.
//
// A server that cannot be reached, or goes away mid-batch, costs the bench
// nothing: the sender runs on its own thread, gives every wait a deadline,
// and tries again after a pause that grows to a limit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "journal/core/factory_outcome.h"
#include "journal/core/journal_store.h"

namespace qv {

// The server schema this program makes and reads.
inline constexpr int kFactorySchemaVersion = 2;

// Where the records go: the server (a libpq connection string, a URI or
// "service=NAME"; empty: nowhere) and the bench's name, unique in the
// factory, which with the local id keys every record.
struct FactoryTarget {
  std::string Server;
  std::string Bench;
  bool operator==(const FactoryTarget&) const = default;
};

struct UploadStatus {
  uint64_t Uploaded = 0;  // records of the journal the server has acknowledged
  uint64_t Waiting = 0;   // records it has not yet
  // How the last attempt ended, and why it failed; kDone and empty once
  // records reach the server again.
  FactoryOutcome Failure = FactoryOutcome::kDone;
  std::string Reason;
  bool operator==(const UploadStatus&) const = default;
};

// Why this build cannot reach a factory server (it has no PostgreSQL
// client); empty when it can.
std::string FactoryUnavailable();

// Sends everything waiting in the journal at `journal_path`, batch after
// batch, and tells how it ended: `status` holds the counts after it, `sent`
// the records this call sent.
FactoryOutcome UploadWaiting(const std::string& journal_path, const FactoryTarget& target,
                             UploadStatus& status, uint64_t& sent);

// The current readings on `server` that pass `filter` (and, when `bench`
// is given, come from that bench), newest first, with each one's bench.
// kNoJournal when the server holds no results at all.
FactoryOutcome QueryServerReadings(const std::string& server, const ReadingFilter& filter,
                                   const std::string& bench, std::vector<ReadingRecord>& readings,
                                   std::vector<std::string>& benches, std::string& error);

// The program's sender: one thread that sends whatever the journal has
// acknowledged, whenever the server takes it.
class FactorySender {
 public:
  // The pause after a failed attempt: one second, doubled after each
  // further failure up to 15 s, so that a server coming back is met within
  // seconds and one that stays away is asked a few times a minute (a
  // hundred benches make a handful of connection attempts a second).
  static constexpr int kFirstPauseMs = 1000;
  static constexpr int kLongestPauseMs = 15000;
  // Records sent in one transaction: enough that the round trips cost
  // little, few enough that a batch is sent again cheaply.
  static constexpr size_t kBatch = 500;
  // The sender thread's scheduling priority (nice value), below the rest.
  static constexpr int kNice = 10;

  explicit FactorySender(std::string journal_path);
  // Ends at once, whatever it was waiting for; what the server had not
  // acknowledged stays waiting in the journal.
  ~FactorySender();
  FactorySender(const FactorySender&) = delete;
  FactorySender& operator=(const FactorySender&) = delete;

  // Called on the sender's thread whenever the status changed; it must not
  // block. Set before the first `Configure`.
  std::function<void()> on_change;

  // Where to send from now on. An empty server stops the sending and
  // clears the status; a new target is tried at once.
  void Configure(const FactoryTarget& target);
  // The journal has acknowledged more records: they are counted at once and
  // sent unless a pause after a failure is running.
  void Nudge();
  UploadStatus Status() const;

 private:
  void Run();
  // Ends the link's wait (a stop, a new target).
  void Wake();
  void Publish(const UploadStatus& status);
  bool Interrupted() const;

  const std::string journal_path_;
  std::thread thread_;
  int wake_[2] = {-1, -1};  // written to end the link's waits
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  FactoryTarget target_;
  UploadStatus status_;
  bool changed_ = false;
  bool nudged_ = false;
  bool stop_ = false;
};

}  // namespace qv
