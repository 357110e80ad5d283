#include "ui/operator_input.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

#include "core/number_format.h"
#include "protocol/entry_value.h"
#include "ui/address_numbering.h"
#include "ui/captions.h"
#include "ui/meter_grid.h"

namespace qv {

bool IsNumberOrEmpty(const QString& text) {
  // Qt also counts other blanks (a full-width space) as nothing.
  return text.trimmed().isEmpty() || IsNumberOrEmptyText(text.toStdString());
}

bool IsWholeOrEmpty(const QString& text) {
  return text.trimmed().isEmpty() || IsWholeOrEmptyText(text.toStdString());
}

TOperatorInput::TOperatorInput(SharedState& state, QWidget* owner)
    : QObject(owner), state_(state), owner_(owner) {
  beep = [] { QApplication::beep(); };
}

void TOperatorInput::Beep() const {
  if (beep) beep();
}

void TOperatorInput::Inform(const QString& text) {
  // The box takes the focus, which can end an editing and ask for another
  // box: one at a time.
  if (informing_) return;
  informing_ = true;
  QMessageBox::information(owner_, QString::fromUtf8("提示"), text);
  informing_ = false;
}

QString TOperatorInput::NotNumberText(const QString& field, const QString& text) const {
  return state_.Settings.English()
             ? QString("%1: \"%2\" is not a valid number; the previous value is kept.")
                   .arg(field, text)
             : QString::fromUtf8("%1：“%2”不是有效的数值，保留原值。").arg(field, text);
}

void TOperatorInput::WarnNotNumber(const QString& field, const QString& text) {
  Inform(NotNumberText(field, text));
}

QString TOperatorInput::OutOfRangeText(const QString& field, const QString& text,
                                       const QString& range) const {
  return state_.Settings.English()
             ? QString("%1: \"%2\" is outside the valid range (%3); nothing was changed.")
                   .arg(field, text, range)
             : QString::fromUtf8("%1：“%2”超出有效范围（%3），未作更改。").arg(field, text, range);
}

void TOperatorInput::WarnOutOfRange(const QString& field, const QString& text,
                                    const QString& range) {
  Inform(OutOfRangeText(field, text, range));
}

void TOperatorInput::WatchValue(QLineEdit* edit, FieldName name, ValueHooks hooks) {
  if (!hooks.accepts) hooks.accepts = IsNumberOrEmpty;
  values_[edit] = {std::move(name), std::move(hooks)};
  // Typing marks the field modified; a text put in by a program does not.
  connect(edit, &QLineEdit::textChanged, this, [this, edit] {
    if (!showing_ && !edit->isModified()) Commit(edit);
  });
  connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
    if (edit->isModified()) Commit(edit);
  });
}

namespace {

// Whether two texts say the same number, or are both nothing.
bool SameNumber(const QString& a, const QString& b) {
  if (a.trimmed().isEmpty() || b.trimmed().isEmpty()) return a.trimmed() == b.trimmed();
  const std::optional<double> x = ParseNumber(a.toStdString());
  return x && x == ParseNumber(b.toStdString());
}

}  // namespace

void TOperatorInput::ShowValue(QLineEdit* edit, ValueField& f) {
  // The operator's own text of the value stays: "100" is not made "100.000".
  const QString shown = f.hooks.shown();
  const QString text = SameNumber(edit->text(), shown) ? edit->text()
                       : SameNumber(f.kept, shown)     ? f.kept
                                                       : shown;
  f.kept = text;
  if (edit->text() == text) return;
  showing_ = true;
  edit->setText(text);
  showing_ = false;
}

void TOperatorInput::ShowValues() {
  for (auto& [edit, f] : values_) {
    if (!edit->isModified()) ShowValue(edit, f);
  }
}

void TOperatorInput::FinishValues() {
  for (auto& [edit, f] : values_) {
    if (edit->isModified()) Commit(edit);
  }
}

void TOperatorInput::Commit(QLineEdit* edit) {
  // A message box taking the focus ends the editing a second time.
  if (committing_ == edit) return;
  const auto it = values_.find(edit);
  if (it == values_.end()) return;
  ValueField& f = it->second;
  committing_ = edit;
  const QString text = edit->text();
  edit->setModified(false);
  QString message;
  if (!f.hooks.accepts(text)) {
    message = NotNumberText(f.name ? f.name() : QString(), text);
  } else {
    message = f.hooks.enter(text);
  }
  ShowValue(edit, f);
  committing_ = nullptr;
  if (!message.isEmpty()) Inform(message);
}

void TOperatorInput::WarnEmpty(const QString& field) {
  Inform(state_.Settings.English()
             ? QString("%1: no value was entered; nothing was sent.").arg(field)
             : QString::fromUtf8("%1：未填写数值，未发送。").arg(field));
}

void TOperatorInput::WatchNumber(QLineEdit* edit, FieldName name, NumberHooks hooks) {
  if (!hooks.accepts) hooks.accepts = IsNumberOrEmpty;
  numbers_[edit] = {std::move(name), std::move(hooks), edit->text(), false};
  connect(edit, &QLineEdit::textEdited, this,
          [this, edit](const QString& text) { Edited(edit, text); });
  connect(edit, &QLineEdit::editingFinished, this, [this, edit] { Finished(edit); });
}

void TOperatorInput::SetNumber(QLineEdit* edit, const QString& text) {
  const auto it = numbers_.find(edit);
  if (it != numbers_.end()) {
    it->second.value = text;
    it->second.editing = false;
  }
  edit->setText(text);
}

void TOperatorInput::TakeTexts() {
  for (auto& [edit, f] : numbers_) {
    f.value = edit->text();
    f.editing = false;
  }
}

void TOperatorInput::Edited(QLineEdit* edit, const QString& text) {
  NumberField& f = numbers_[edit];
  if (!Takes(edit, text)) return;  // a text on its way to a number, or rubbish
  if (!f.editing) {
    f.editing = true;
    if (f.hooks.began) f.hooks.began();
  }
  if (f.hooks.changed) f.hooks.changed();
}

void TOperatorInput::Finished(QLineEdit* edit) {
  const auto it = numbers_.find(edit);
  if (it == numbers_.end()) return;
  NumberField& f = it->second;
  const QString text = edit->text();
  if (!Takes(edit, text)) {
    Refuse(edit, f);
    return;
  }
  // A focus change with nothing changed is no change.
  if (!f.editing && text == f.value) return;
  if (!f.editing) {
    // Set from outside the keyboard and then confirmed: a change all the same.
    if (f.hooks.began) f.hooks.began();
    if (f.hooks.changed) f.hooks.changed();
  }
  f.editing = false;
  f.value = text;
  if (f.hooks.finished) f.hooks.finished();
}

bool TOperatorInput::Takes(QLineEdit* edit, const QString& text) const {
  const auto it = numbers_.find(edit);
  return it != numbers_.end() && it->second.hooks.accepts ? it->second.hooks.accepts(text)
                                                          : IsNumberOrEmpty(text);
}

void TOperatorInput::Refuse(QLineEdit* edit, NumberField& f) {
  const QString text = edit->text();
  const bool edited = f.editing;
  // The value comes back before the box takes the focus, so the box does
  // not end the editing a second time.
  f.editing = false;
  edit->setText(f.value);
  if (edited && f.hooks.changed) f.hooks.changed();
  if (f.hooks.refusal) {
    Inform(f.hooks.refusal(text));
  } else {
    WarnNotNumber(f.name ? f.name() : QString(), text);
  }
}

bool TOperatorInput::CheckNumber(QLineEdit* edit) {
  if (Takes(edit, edit->text())) return true;
  const auto it = numbers_.find(edit);
  if (it != numbers_.end()) {
    Refuse(edit, it->second);
  } else {
    WarnNotNumber(QString(), edit->text());
  }
  return false;
}

void TOperatorInput::WatchAddresses(TMeterGrid& grid) {
  grid_ = &grid;
  for (int r = 0; r < kMeterRows; ++r) {
    address_rows_[grid.edtAddr[r]] = {r, [this](int row, bool all) { NumberRows(row, all); }};
    grid.edtAddr[r]->installEventFilter(this);
  }
}

void TOperatorInput::WatchAddressCells(std::span<QLineEdit* const> cells, NumberCells number) {
  for (size_t r = 0; r < cells.size(); ++r) {
    address_rows_[cells[r]] = {static_cast<int>(r), number};
    cells[r]->installEventFilter(this);
  }
}

void TOperatorInput::AddEnterChain(std::vector<QWidget*> chain) {
  for (size_t i = 0; i < chain.size(); ++i) {
    // The last one has no next: Enter presses it when it is a button.
    enter_next_[chain[i]] = i + 1 < chain.size() ? chain[i + 1] : nullptr;
    chain[i]->installEventFilter(this);
  }
}

bool TOperatorInput::eventFilter(QObject* watched, QEvent* event) {
  if (const auto a = address_rows_.find(watched); a != address_rows_.end()) {
    if (AddressEvent(a->second, event)) return true;
  }
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (const auto next = enter_next_.find(watched); enter && next != enter_next_.end()) {
      if (next->second) {
        // Past the controls that cannot take it now (hidden or disabled).
        QWidget* to = next->second;
        while (to && !(to->isEnabled() && to->isVisibleTo(owner_))) {
          const auto after = enter_next_.find(to);
          to = after != enter_next_.end() ? after->second : nullptr;
        }
        if (to) to->setFocus(Qt::OtherFocusReason);
      } else if (auto* button = qobject_cast<QAbstractButton*>(watched)) {
        button->click();
      } else {
        return false;  // the last field: Enter ends its editing as anywhere else
      }
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

bool TOperatorInput::AddressEvent(const AddressCell& cell, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    cell.number(cell.row, true);
    return true;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  // Keys that type nothing (arrows, Delete, Tab) are the edit's own; Delete
  // carries a control character as its text.
  const QString text = key->text();
  if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
      key->key() == Qt::Key_Delete) {
    return false;
  }
  switch (ClassifyAddressKey(text.toUcs4().value(0))) {
    case AddressKey::kPass:
      return false;
    case AddressKey::kReject:
      Beep();
      return true;
    case AddressKey::kRenumber:
      Beep();
      cell.number(cell.row, false);
      return true;
  }
  return false;
}

void TOperatorInput::NumberRows(int row, bool all_following) {
  const int meter_num = state_.Settings.MeterNum;
  const auto numbering = NumberFollowingRows(state_.Rows, meter_num, row, all_following);
  QLineEdit* own = grid_->edtAddr[row];
  if (!numbering) {
    const QString field = state_.Settings.English() ? QString("Row %1 Addr.").arg(row + 1)
                                                    : QString::fromUtf8("第%1行地址").arg(row + 1);
    WarnNotNumber(field, own->text());
    return;
  }
  ShowWhole(own, QString::fromStdString(numbering->Normalised));
  for (const auto& [r, address] : numbering->Assigned) {
    ShowWhole(grid_->edtAddr[r], QString::fromStdString(address));
  }
  if (!all_following && !numbering->Assigned.empty()) {
    grid_->edtAddr[numbering->Assigned.front().first]->setFocus(Qt::OtherFocusReason);
  }
}

}  // namespace qv
