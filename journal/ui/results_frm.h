// The results window ("检测记录"): the readings of the results journal,
// newest first, filtered by a part of the meter address, a range of days
// and the verdict; of a reading recorded again after its reference changed,
// only its current record. A double click on a reading opens that meter's
// whole history, its readings and the writes sent to it; the filtered list
// exports to CSV and, through "Excel", to the detection windows' workbooks
// (journal/ui/results_workbook.h); "证书" makes the verification record of
// each meter with a selected reading (journal/core/record_files.h), and
// the history shows the meter's error curves. The journal is read page by
// page through read-only connections of the window's own
// (journal/ui/results_pages.h), so the list can be looked at while readings
// are written, and typing a filter over a large journal never holds the
// window up.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <vector>

#include "journal/core/journal_store.h"
#include "journal/ui/results_pages.h"
#include "ui/tool_form.h"

namespace qv {

class TResultsFrm : public TToolForm {
  Q_OBJECT

 public:
  const CaptionTable& Captions() const override;
  explicit TResultsFrm(SharedState& state, QWidget* parent = nullptr);

  // Reads the journal again with the filters as they stand.
  void Query();
  // The filter the controls give.
  ReadingFilter Filter() const;
  // The readings listed so far.
  const std::vector<ReadingRecord>& Readings() const { return pages_->Readings(); }
  // Writes the readings of the filter to `path` as CSV; false (and the
  // operator told) when the file cannot be written.
  bool ExportCsv(const QString& path);
  // Opens the history of the meter at `address`; the dialog, owned by the
  // window, stays until it is closed.
  QDialog* ShowHistory(const QString& address);
  // Saves the readings of the filter as workbooks in the exports folder, one per
  // detection window they came from, logs and opens each, and returns their
  // paths. Nothing is written when the list is empty; when a workbook cannot
  // be saved the operator reads "Unable to write to <path>".
  QStringList ExportExcel();
  // Makes the verification record of every meter with a selected reading,
  // one PDF each in certificates/ of the data folder, logs each, opens the
  // first and returns their paths. A meter without readings gets a message
  // and no file; when a record cannot be saved the operator reads "Unable
  // to write to <path>" and no more are made.
  QStringList MakeCertificates();
  // Asks the desktop to open a saved workbook or record; false when no
  // program takes it. Tests replace it, so that no program is ever started
  // by them.
  std::function<bool(const QString& path)> open;

 signals:
  // The first page of the filter's readings is shown.
  void Listed();

 protected:
  void showEvent(QShowEvent* event) override;
  void ApplyLanguage() override;

 private:
  // Shows the readings listed; `anew` from the first row.
  void ShowReadings(bool anew);
  // Every reading of the filter, for the exports.
  std::vector<ReadingRecord> AllReadings();
  void btnCsvClick();

  ResultsPages* pages_;
  int shown_rows_ = 0;
  bool fitted_ = false;  // the columns fit the readings shown
  QLineEdit* edtAddress_;
  QCheckBox* cbSince_;
  QDateEdit* dtpSince_;
  QCheckBox* cbUntil_;
  QDateEdit* dtpUntil_;
  QComboBox* cbxVerdict_;
  QPushButton* btnRefresh_;
  QPushButton* btnCsv_;
  QPushButton* btnExcel_;
  QPushButton* btnCertificate_;
  QLabel* lblCount_;
  QTableWidget* lvResults_;
};

// One meter's history: its readings and the writes sent to it, newest
// first, and the error curves of its verification record.
class TMeterHistoryFrm : public QDialog {
  Q_OBJECT

 public:
  TMeterHistoryFrm(const SharedState& state, const QString& address, QWidget* parent);

  QTableWidget* lvReadings;
  QTableWidget* lvWrites;
  QLabel* lblCurve;      // the volume error curve
  QLabel* lblHeatCurve;  // the heat error curve, hidden without heat errors
};

}  // namespace qv
