#include "shell/error_info_para_frm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace qv {

namespace {
QLabel* Text(const char* text, QWidget* parent) {
  return new QLabel(QString::fromUtf8(text), parent);
}
}  // namespace

TErrorInfoParaFrm::TErrorInfoParaFrm(QWidget* parent) : QWidget(parent) {
  setObjectName("ErrorInfoParaFrm");
  setWindowFlag(Qt::Window);
  setWindowTitle(QString::fromUtf8("错误提示"));
  resize(333, 273);

  auto* group = new QGroupBox(this);
  group->setObjectName("GroupBox1");
  auto* grid = new QGridLayout(group);
  // One row per checked quantity: check box, value, "±", tolerance, unit.
  struct ValueRow {
    const char* check;
    const char* caption;
    const char* value;
    const char* tolerance;
    const char* unit;
  };
  static constexpr ValueRow kRows[] = {
      {"cbxInTemp", "进水温度： ", "edtInTemp", "edtInTempErr", " ℃ "},
      {"cbxOutTemp", "回水温度： ", "edtOutTemp", "edtOutTempErr", " ℃ "},
      {"cbxFlux", "流速：", "edtFlux", "edtFluxErr", " L/h "},
  };
  int r = 0;
  for (const ValueRow& row : kRows) {
    if (r == 2) {  // the direction checks sit between the temperatures and the flow speed
      grid->addWidget(AddCheck("cbxInOut", "进水＞回水"), r, 0, 1, 2);
      grid->addWidget(AddCheck("cbxOutIn", "进水＜回水"), r, 2, 1, 3);
      ++r;
    }
    grid->addWidget(AddCheck(row.check, row.caption), r, 0);
    grid->addWidget(AddEdit(row.value), r, 1);
    grid->addWidget(Text("±", group), r, 2);
    grid->addWidget(AddEdit(row.tolerance), r, 3);
    grid->addWidget(Text(row.unit, group), r, 4);
    ++r;
  }
  grid->addWidget(AddCheck("cbxOther", "换能器信号焊反或表按反"), r, 0, 1, 5);

  auto* save = new QPushButton(QString::fromUtf8("保存"), this);
  save->setObjectName("spbtnSave");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

QCheckBox* TErrorInfoParaFrm::AddCheck(const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), this);
  box->setObjectName(name);
  return box;
}

QLineEdit* TErrorInfoParaFrm::AddEdit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setFixedWidth(60);
  return edit;
}

}  // namespace qv
