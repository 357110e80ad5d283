#include "detection/ui/flow_bench_group.h"

#include <QGridLayout>

#include "core/number_format.h"
#include "detection/ui/flow_captions.h"
#include "ui/operator_input.h"

namespace qv {

std::optional<double> FieldValue(const QLineEdit& edit) {
  const QString text = edit.text().trimmed();
  if (text.isEmpty()) return 0.0;
  return ParseNumber(text.toStdString());
}

TFlowBenchGroup::TFlowBenchGroup(SharedState& state, FlowBenchValues& values, TOperatorInput& input,
                                 QWidget* parent)
    : QGroupBox(parent), state_(state), values_(values), input_(input) {
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

  const auto name = [this](const char* label) {
    return [this, label] { return CaptionName(FlowCaptions(), label, state_.Settings.English()); };
  };
  input_.WatchNumber(
      edtWeight0, name("lblWeight0"), [this] { Weigh(false); }, [this] { Weigh(true); });
  input_.WatchNumber(
      edtWeight1, name("lblWeight1"), [this] { Weigh(false); }, [this] { Weigh(true); });
  input_.WatchNumber(
      edtWeight, name("lblWeight"), [this] { WeightChanged(false); },
      [this] { WeightChanged(true); });
  input_.WatchNumber(edtVolume, name("lblVolume"), [this] { VolumeChanged(); });
  // The fluid temperature counts once it is typed in full: on the way to
  // 150.5 the field holds 15, which would give a volume of its own.
  input_.WatchNumber(edtFluxTerm, name("lblFluxTerm"), {}, [this] { FluidChanged(true); });
  connect(cbxFlux, &QComboBox::currentIndexChanged, this, &TFlowBenchGroup::FluxChanged);

  // At creation: the scale readings at 0 and the fluid temperature of the
  // settings, which runs the weighing once.
  edtWeight0->setText("0");
  edtWeight1->setText("0");
  edtWeight->setText("0");
  edtFluxTerm->setText(QString::fromStdString(ShortestDecimal(state_.Settings.FluidTerm)));
  FluidChanged(false);
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

void TFlowBenchGroup::Weigh(bool tell) {
  const std::optional<double> initial = FieldValue(*edtWeight0);
  const std::optional<double> final_reading = FieldValue(*edtWeight1);
  if (!initial || !final_reading) return;  // a text being typed: it is not a reading yet
  const Weighing w = FlowBenchValues::Weigh(*initial, *final_reading, std::nullopt);
  if (w.Outcome == WeighingOutcome::kNegative) {
    // A final reading of 0 is one not taken yet: the initial reading typed
    // first is no mistake.
    if (tell && *final_reading != 0) input_.Inform(QString::fromUtf8("称末值不能小于称初值"));
    return;
  }
  edtWeight->setText(QString::fromStdString(w.Weight));
  WeightChanged(tell);
}

void TFlowBenchGroup::WeightChanged(bool tell) {
  const QString fluid_text = edtFluxTerm->text().trimmed();
  const std::optional<double> weight = FieldValue(*edtWeight);
  const std::optional<double> fluid = ParseNumber(fluid_text.toStdString());
  if (fluid_text.isEmpty() || !weight || !fluid) return;
  const Weighing w = FlowBenchValues::VolumeOf(*weight, fluid);
  if (w.Outcome == WeighingOutcome::kFluidOutOfRange) {
    if (tell) {
      input_.Inform(state_.Settings.English()
                        ? QString("Fluid temperature %1 °C is outside the valid range "
                                  "(1 to 150 °C); the standard volume is kept.")
                              .arg(fluid_text)
                        : QString::fromUtf8("流体温度 %1 ℃ 超出有效范围（1 至 150 ℃），"
                                            "标准体积保持不变。")
                              .arg(fluid_text));
    }
    return;
  }
  edtVolume->setText(QString::fromStdString(w.Volume));
  VolumeChanged();
}

void TFlowBenchGroup::VolumeChanged() {
  const std::optional<double> v = FieldValue(*edtVolume);
  if (!v) return;
  values_.SetStandardVolume(*v);
  emit StandardVolumeChanged();
}

void TFlowBenchGroup::FluidChanged(bool tell) {
  if (edtFluxTerm->text().trimmed().isEmpty()) return;
  const std::optional<double> fluid = FieldValue(*edtFluxTerm);
  if (!fluid) return;
  state_.FlowPointTerms[values_.SelectedFlowPoint()].Fluid = *fluid;
  Weigh(tell);
}

void TFlowBenchGroup::FluxChanged(int index) {
  values_.SetSelectedFlowPoint(index);
}

}  // namespace qv
