// Verification records as files: the one way the results window and the
// command-line tool make them, from the journal, one PDF per meter, named
// like the exports and never seen half written (core/new_file.h).
#pragma once

#include <ctime>
#include <string>

namespace qv {

// The folder records are saved in, with its trailing '/': "certificates/"
// in the data folder (which has its own trailing '/').
std::string RecordFolder(const std::string& data_folder);

// The meter's part of a record's file name: its address, any character
// but letters, digits, '-' and '_' as '_' (an address is the meter's, and
// may hold what a file name must not).
std::string RecordStem(const std::string& address);

struct RecordOutcome {
  enum Result {
    kSaved,
    kNoReadings,  // the journal holds no reading of the meter: no file
    kUnreadable,  // the journal cannot be read: no file
    kUnwritable,  // the file cannot be written: nothing left behind
  };
  Result result = kSaved;
  std::string path;   // kSaved: the file; kUnwritable: the file it would have been
  std::string error;  // kUnreadable: what the journal said
};

// Makes the record of the meter at `address` from the journal at
// `journal`, in English or Chinese, and saves it in `folder` (made when
// missing) as "<RecordStem>-yyyyMMdd-hhmmss.pdf" of the local time `when`
// ("-2", "-3" .. for a name already taken).
RecordOutcome SaveRecord(const std::string& journal, const std::string& address, bool english,
                         const std::string& folder, const std::tm& when);
// The same, saved as `path` (a file there is replaced).
RecordOutcome SaveRecordAs(const std::string& journal, const std::string& address, bool english,
                           const std::string& path);

}  // namespace qv
