#include "detection/ui/flow_bench_group.h"

#include <QGridLayout>

#include "core/shared_state.h"

namespace qv {

TFlowBenchGroup::TFlowBenchGroup(QWidget* parent) : QGroupBox(parent) {
  setObjectName("gbBench");
  edtWeight0 = Edit("edtWeight0");
  edtWeight1 = Edit("edtWeight1");
  edtWeight = Edit("edtWeight");
  edtVolume = Edit("edtVolume");
  edtFluxTerm = Edit("edtFluxTerm");
  cbxFlux = new QComboBox(this);
  cbxFlux->setObjectName("cbxFlux");
  cbxFlux->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (int i = 0; i < kFlowPoints; ++i)
    cbxFlux->addItem(QString());
  btnCalibration = new QPushButton(this);
  btnCalibration->setObjectName("btnCalibration");

  auto* grid = new QGridLayout(this);
  grid->setVerticalSpacing(3);
  grid->addWidget(Label("lblWeight0"), 0, 0);
  grid->addWidget(edtWeight0, 0, 1);
  grid->addWidget(Label("lblWeight1"), 0, 2);
  grid->addWidget(edtWeight1, 0, 3);
  grid->addWidget(Label("lblWeight"), 1, 0);
  grid->addWidget(edtWeight, 1, 1);
  grid->addWidget(Label("lblVolume"), 1, 2);
  grid->addWidget(edtVolume, 1, 3);
  grid->addWidget(Label("lblFlux"), 2, 0);
  grid->addWidget(cbxFlux, 2, 1);
  grid->addWidget(Label("lblFluxTerm"), 2, 2);
  grid->addWidget(edtFluxTerm, 2, 3);
  grid->addWidget(btnCalibration, 0, 4, 3, 1);
  btnCalibration->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

QLabel* TFlowBenchGroup::Label(const char* name) {
  auto* label = new QLabel(this);
  label->setObjectName(name);
  return label;
}

QLineEdit* TFlowBenchGroup::Edit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setFixedWidth(80);
  return edit;
}

void TFlowBenchGroup::AddTemperatures() {
  edtEntreTerm = Edit("edtEntreTerm");
  edtExitTerm = Edit("edtExitTerm");
  auto* grid = static_cast<QGridLayout*>(layout());
  grid->addWidget(Label("lblEntreTerm"), 3, 0);
  grid->addWidget(edtEntreTerm, 3, 1);
  grid->addWidget(Label("lblExitTerm"), 3, 2);
  grid->addWidget(edtExitTerm, 3, 3);
  btnCalibration->hide();
}

}  // namespace qv
