// What a bench window takes from the operator's keyboard and mouse, and how it tells him it did
// not: number fields that never keep a text that is not a number, the address cells' key filter and
// numbering, the Enter-key focus chains, the beep and the message boxes.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "serial/port_slots.h"

namespace qv {

class TMeterGrid;

class TOperatorInput : public QObject {
  Q_OBJECT

 public:
  // The name of a field in the current language, for messages.
  using FieldName = std::function<QString()>;
  // Which texts a field takes.
  using Accepts = std::function<bool(const QString&)>;

  TOperatorInput(SharedState& state, QWidget* owner);

  // The default beep; tests replace it to count beeps.
  std::function<void()> beep;
  void Beep() const;

  // An information box owned by the window, caption "提示".
  void Inform(const QString& text);
  // "<field>: <text> is not a number", in the current language.
  void WarnNotNumber(const QString& field, const QString& text);

  // Watches a number field. `changed` runs for every typed change that
  // leaves a number (or nothing); a typed text that is not a number changes
  // nothing and, when the editing ends, is replaced by the last number the
  // field held and reported. `finished` runs when the editing ends with a
  // number (or nothing). `accepts` narrows what counts as a number.
  void WatchNumber(QLineEdit* edit, FieldName name, std::function<void()> changed,
                   std::function<void()> finished = {}, Accepts accepts = {});
  // Whether the field now holds a number (or nothing); when it does not, the
  // last number comes back and the operator is told. For the values an
  // operation is about to send.
  bool CheckNumber(QLineEdit* edit);

  // The address cells: digits and backspace pass, any other key beeps and
  // is dropped; Enter beeps and numbers the next selected row, a double
  // click every selected row below.
  void WatchAddresses(TMeterGrid& grid);
  // Enter in one widget of the chain moves the focus to the next.
  void AddEnterChain(std::vector<QWidget*> chain);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct NumberField {
    FieldName name;
    Accepts accepts;
    std::function<void()> changed;
    std::function<void()> finished;
    QString last_good;
  };

  void Finished(QLineEdit* edit);
  bool Takes(QLineEdit* edit, const QString& text) const;
  bool AddressEvent(int row, QEvent* event);
  void NumberRows(int row, bool all_following);

  SharedState& state_;
  QWidget* owner_;
  TMeterGrid* grid_ = nullptr;
  std::map<QLineEdit*, NumberField> numbers_;
  std::map<QObject*, int> address_rows_;
  std::map<QObject*, QWidget*> enter_next_;
  bool informing_ = false;
};

// Whether `text` is a number an operator may type, or nothing at all.
bool IsNumberOrEmpty(const QString& text);
// Whether `text` is a whole number within 32 bits, or nothing at all.
bool IsWholeOrEmpty(const QString& text);

}  // namespace qv
