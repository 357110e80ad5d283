// Writes a results journal through the program's own journal, for the
// command-line tests: make_journal PATH TIME;ADDRESS;POINT;ERROR;VERDICT...
#include <sstream>

#include "core/number_format.h"
#include "journal/core/journal.h"

int main(int argc, char** argv) {
  qv::ResultJournal journal;
  if (argc < 2 || !journal.Open(argv[1])) return 1;
  uint64_t last = 0;
  for (int i = 2; i < argc; ++i) {
    std::stringstream in(argv[i]);
    std::string field[5];
    for (std::string& f : field)
      std::getline(in, f, ';');
    qv::ReadingRecord r;
    r.Time = field[0];
    r.Window = qv::kFlowWindow;
    r.Address = field[1];
    r.FlowPoint = std::stoi(field[2]);
    r.Flow = 250 * r.FlowPoint;
    r.MeterVolume = 10.5 * r.FlowPoint;
    r.VolumeError = qv::ParseNumber(field[3]);
    r.Verdict = field[4];
    last = journal.Record(r);
  }
  return last && journal.WaitAcknowledged(last, std::chrono::seconds(60)) ? 0 : 1;
}
