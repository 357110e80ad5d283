// The results window's readings read on a thread of their own: the newest
// page first, the next ones as the list is scrolled, the count after, and a
// new filter's list in place of the old one.
#include <QtTest>

#include "journal/core/journal.h"
#include "journal/ui/results_pages.h"
#include "support/temp_files.h"

using namespace qv;

class ResultsPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void PagesComeOneAfterTheOther() {
    test::TempDir dir;
    const std::string path = JournalPath(dir.Dir());
    {
      ResultJournal journal;
      QVERIFY(journal.Open(path));
      uint64_t last = 0;
      for (int n = 0; n < 250; ++n) {
        ReadingRecord r;
        r.Time = "2024-03-05 08:" + QString::number(n / 60).rightJustified(2, '0').toStdString() +
                 ":" + QString::number(n % 60).rightJustified(2, '0').toStdString();
        r.Window = kFlowWindow;
        r.Address = std::to_string(2024000001 + n % 10);
        r.Verdict = kVerdictPass;
        last = journal.Record(r);
      }
      QVERIFY(journal.WaitAcknowledged(last, std::chrono::seconds(30)));
    }
    ResultsPages pages;
    pages.read_at_once = 0;  // every journal read on the thread
    pages.Query(path, {});
    QTRY_COMPARE(pages.Readings().size(), ResultsPages::kPageSize);
    QVERIFY(!pages.Complete());
    QTRY_COMPARE(pages.Count(), std::optional<int64_t>(250));
    for (size_t shown : {200u, 250u}) {
      pages.More();
      QTRY_COMPARE(pages.Readings().size(), size_t{shown});
    }
    QVERIFY(pages.Complete());
    for (size_t i = 0; i < 250; ++i)
      QCOMPARE(pages.Readings()[i].Id, static_cast<int64_t>(250 - i));
    pages.Query(path, {"0003", "", "", ""});
    QTRY_COMPARE(pages.Readings().size(), size_t{25});
    QCOMPARE(pages.Readings().front().Id, 243);
    QVERIFY(pages.Complete());
  }
};

QTEST_MAIN(ResultsPagesTest)
#include "results_pages_test.moc"
