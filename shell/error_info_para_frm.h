// The error-information window: temperature, direction and flow-speed
// checks with their tolerances and a save button. It is created at start-up
// and has no behaviour yet: nothing opens it and its controls do nothing.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace qv {

class TErrorInfoParaFrm : public QWidget {
  Q_OBJECT

 public:
  explicit TErrorInfoParaFrm(QWidget* parent = nullptr);

 private:
  QCheckBox* AddCheck(const char* name, const char* caption);
  QLineEdit* AddEdit(const char* name);
};

}  // namespace qv
