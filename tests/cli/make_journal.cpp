// Writes a results journal with the program's own journal for the
// command-line tests: make_journal PATH TIME;ADDRESS;POINT;ERROR;VERDICT...
// (ERROR empty for no value).
#include <sstream>
#include <string>

#include "core/journal.h"
#include "core/number_format.h"

int main(int argc, char** argv) {
  qv::ResultJournal journal;
  if (argc < 2 || !journal.Open(argv[1])) return 1;
  uint64_t last = 0;
  for (int i = 2; i < argc; ++i) {
    std::stringstream in(argv[i]);
    std::string time, address, point, error, verdict;
    std::getline(in, time, ';') && std::getline(in, address, ';') && std::getline(in, point, ';') &&
        std::getline(in, error, ';');
    std::getline(in, verdict);
    qv::ReadingRecord r;
    r.Time = time;
    r.Window = qv::kFlowWindow;
    r.Address = address;
    r.FlowPoint = std::stoi(point);
    r.Flow = 250 * r.FlowPoint;
    r.MeterVolume = 10.5 * r.FlowPoint;
    r.VolumeError = qv::ParseNumber(error);
    r.Verdict = verdict;
    last = journal.Record(r);
  }
  return last == 0 || journal.WaitAcknowledged(last, std::chrono::seconds(60)) ? 0 : 1;
}
