// What a bench window takes from the operator's keyboard and mouse, and how it tells him it did
// not: number fields that never keep a text that is not a number, the address cells' key filter and
// numbering, the Enter-key focus chains, the beep and the message boxes.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <span>
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
  QString NotNumberText(const QString& field, const QString& text) const;

  // What a number field does with the operator's editing. A value counts
  // when the text really changes (a key typed, or a text found different
  // from the field's value when the editing ends), never because the focus
  // moved.
  struct NumberHooks {
    // The first real change of an editing: the moment to remember what it
    // may change.
    std::function<void()> began = {};
    // Each real change that leaves a number (or nothing).
    std::function<void()> changed = {};
    // The editing ended after a real change, with a number (or nothing).
    std::function<void()> finished = {};
    // Narrows what counts as a number, or says which texts a field of
    // another kind takes.
    Accepts accepts = {};
    // The message for a refused text; unset: "... is not a number".
    std::function<QString(const QString& text)> refusal = {};
  };

  // Watches a number field. A text that is not a number changes nothing:
  // when the editing ends the field gets back the value it had before the
  // editing began, `changed` runs once more for it (so everything computed
  // from the field is as it was), and the operator is told.
  void WatchNumber(QLineEdit* edit, FieldName name, NumberHooks hooks);
  // The window's own change of a watched field: shown and taken as the
  // field's value; no hook runs.
  void SetNumber(QLineEdit* edit, const QString& text);
  // After the window changed many watched fields at once (a cleared grid):
  // their texts become their values.
  void TakeTexts();
  // Whether the field now holds a number (or nothing); when it does not, its
  // value comes back and the operator is told. For the values an operation
  // is about to send.
  bool CheckNumber(QLineEdit* edit);
  // Tells the operator that `text` in `field` is outside `range` ("1 to
  // 150"); nothing is sent or kept.
  void WarnOutOfRange(const QString& field, const QString& text, const QString& range);
  QString OutOfRangeText(const QString& field, const QString& text, const QString& range) const;
  // Tells the operator that `field` holds no value to send; nothing is sent.
  void WarnEmpty(const QString& field);

  // A field that shows a value of the window's model. What the operator
  // types counts only as a whole, when the editing ends (Enter, the focus
  // leaving, `FinishValues`), or at once when a text is put in from outside
  // the keyboard; a focus change with nothing typed is no change. Text that
  // is not a number (as `accepts` has it) is refused with a message. Else
  // `enter` takes the text into the model and returns what the operator
  // must be told (nothing: all went well). Either way the field then shows
  // `shown()`, the model's value, keeping the operator's text when it says
  // the same number.
  struct ValueHooks {
    std::function<QString(const QString& text)> enter;
    std::function<QString()> shown;
    Accepts accepts = {};
  };
  void WatchValue(QLineEdit* edit, FieldName name, ValueHooks hooks);
  // Every value field shows its value, but one the operator is typing in.
  void ShowValues();
  // Ends the editing in progress of every value field: before an operation
  // takes its values.
  void FinishValues();

  // The address cells: digits and backspace pass, any other key beeps and
  // is dropped; Enter beeps and numbers the next selected row, a double
  // click every selected row below.
  void WatchAddresses(TMeterGrid& grid);
  // Address cells of a window's own column (cell i is row i): the same key
  // filter and beep; Enter and a double click call `number(row,
  // all_following)`.
  using NumberCells = std::function<void(int row, bool all_following)>;
  void WatchAddressCells(std::span<QLineEdit* const> cells, NumberCells number);
  // Enter in one widget of the chain moves the focus to the next one that
  // can take it; Enter on the last presses it when it is a button, and
  // ends its editing when it is a field.
  void AddEnterChain(std::vector<QWidget*> chain);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct NumberField {
    FieldName name;
    NumberHooks hooks;
    QString value;         // the text the field counts: before any editing in progress
    bool editing = false;  // a real change was typed since the value
  };

  struct ValueField {
    FieldName name;
    ValueHooks hooks;
    QString kept = {};  // the text the field last showed for its value
  };
  void Commit(QLineEdit* edit);
  void ShowValue(QLineEdit* edit, ValueField& f);

  void Edited(QLineEdit* edit, const QString& text);
  void Finished(QLineEdit* edit);
  // Puts the field's value back after a text that is not a number.
  void Refuse(QLineEdit* edit, NumberField& f);
  bool Takes(QLineEdit* edit, const QString& text) const;
  struct AddressCell {
    int row;
    NumberCells number;
  };
  bool AddressEvent(const AddressCell& cell, QEvent* event);
  void NumberRows(int row, bool all_following);

  SharedState& state_;
  QWidget* owner_;
  TMeterGrid* grid_ = nullptr;
  std::map<QLineEdit*, NumberField> numbers_;
  std::map<QLineEdit*, ValueField> values_;
  bool showing_ = false;  // the window is putting its values in
  QLineEdit* committing_ = nullptr;
  std::map<QObject*, AddressCell> address_rows_;
  std::map<QObject*, QWidget*> enter_next_;
  bool informing_ = false;
};

// Whether `text` is a number an operator may type, or nothing at all.
bool IsNumberOrEmpty(const QString& text);
// Whether `text` is a whole number within 32 bits, or nothing at all.
bool IsWholeOrEmpty(const QString& text);

}  // namespace qv
