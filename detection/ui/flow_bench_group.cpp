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
  btnScaleInitial = new QPushButton(this);
  btnScaleInitial->setObjectName("btnScaleInitial");
  btnScaleFinal = new QPushButton(this);
  btnScaleFinal->setObjectName("btnScaleFinal");
  lblScale = Label("lblScale");
  lblScale->setFrameShape(QFrame::StyledPanel);
  lblScale->setFrameShadow(QFrame::Sunken);
  lblScale->setMargin(2);
  lblScale->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

  // Two columns of fields, the scale buttons beside the two readings, the
  // live reading under them all.
  auto* grid = new QGridLayout(this);
  // Close to the frame above and below: with the live reading the group
  // has a row more, and the band under the grid must stay low enough for
  // all 20 rows on 1366 x 768.
  grid->setContentsMargins(9, 3, 9, 3);
  grid->setVerticalSpacing(3);
  grid->addWidget(Label("lblWeight0"), 0, 0);
  grid->addWidget(edtWeight0, 0, 1);
  grid->addWidget(btnScaleInitial, 0, 2);
  grid->addWidget(Label("lblWeight1"), 0, 3);
  grid->addWidget(edtWeight1, 0, 4);
  grid->addWidget(btnScaleFinal, 0, 5);
  grid->addWidget(Label("lblWeight"), 1, 0);
  grid->addWidget(edtWeight, 1, 1);
  grid->addWidget(Label("lblVolume"), 1, 3);
  grid->addWidget(edtVolume, 1, 4);
  grid->addWidget(Label("lblFlux"), 2, 0);
  grid->addWidget(cbxFlux, 2, 1, 1, 2, Qt::AlignLeft);
  grid->addWidget(Label("lblFluxTerm"), 2, 3);
  grid->addWidget(edtFluxTerm, 2, 4);
  PlaceScale(3);
  // Room to spare goes below the live reading: the group is as tall as the
  // one beside it.
  grid->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), 5, 0);
  grid->addWidget(btnCalibration, 0, 6, 4, 1);
  btnCalibration->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void TFlowBenchGroup::PlaceScale(int row) {
  auto* grid = static_cast<QGridLayout*>(layout());
  grid->removeWidget(lblScale);
  grid->addWidget(lblScale, row, 0, 1, 6);
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
  grid->addWidget(Label("lblExitTerm"), 3, 3);
  grid->addWidget(edtExitTerm, 3, 4);
  PlaceScale(4);
  btnCalibration->hide();
}

}  // namespace qv
