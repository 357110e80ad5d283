// What the program says to the factory server: its schema (made and
// upgraded by the program, step by step, refused when newer than the
// program knows), the registration of a bench and what the server holds of
// it, the inserts of a batch, and the readings it lists.
//
// Records are keyed by bench name and local record id: a batch sent again
// after its acknowledgement was lost inserts nothing new. Each batch is one
// transaction holding the next records of the journal in their order, so
// the server always holds, per bench, every reading and every write up to
// some id and none after: the highest id it holds is what it has
// acknowledged.
#pragma once

#include <string>

#include "journal/core/journal_store.h"
#include "journal/core/pg_link.h"

namespace qv {

// Makes the server's schema or brings it up to this program's version.
// kRefused when it is newer, or when this role may not make it.
FactoryOutcome EnsureFactorySchema(PgLink& link, std::string& error);

// What the server holds of a bench: the journal it belongs to and the
// last reading and write id.
struct BenchProgress {
  std::string JournalId;
  JournalOutbox::Marks Held;
};
// Registers `bench` for `journal_id` when the server does not know it yet,
// and tells what the server holds of it.
FactoryOutcome ReadBenchProgress(PgLink& link, const std::string& bench,
                                 const std::string& journal_id, BenchProgress& progress,
                                 std::string& error);

// Sends one batch in one transaction.
FactoryOutcome SendBatch(PgLink& link, const std::string& bench, const JournalOutbox::Batch& batch,
                         std::string& error);

// A record's time as the journal keeps it ("yyyy-MM-dd hh:mm:ss", the
// bench's local time) as an absolute time for the server ("... +00"), or
// nothing when it is no time of this computer's calendar.
std::optional<std::string> ServerTime(const std::string& local);

}  // namespace qv
