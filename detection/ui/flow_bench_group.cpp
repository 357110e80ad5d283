#include "detection/ui/flow_bench_group.h"

#include <QGridLayout>
#include <tuple>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
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
    : QGroupBox(parent), state_(state), values_(values), input_(input), captions_(&FlowCaptions()) {
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
    return [this, label] { return CaptionName(*captions_, label, state_.Settings.English()); };
  };
  const auto remember = [this] { Remember(); };
  input_.WatchNumber(edtWeight0, name("lblWeight0"),
                     {.began = remember,
                      .changed = [this] { Weigh(); },
                      .finished = [this] { ReadingsFinished(); }});
  input_.WatchNumber(edtWeight1, name("lblWeight1"),
                     {.began = remember,
                      .changed = [this] { Weigh(); },
                      .finished = [this] { ReadingsFinished(); }});
  input_.WatchNumber(edtWeight, name("lblWeight"),
                     {.began = remember, .changed = [this] { VolumeFromWeight(); }});
  input_.WatchNumber(edtVolume, name("lblVolume"), {.changed = [this] { StoreVolume(); }});
  input_.WatchNumber(edtFluxTerm, name("lblFluxTerm"),
                     {.began = remember,
                      .changed = [this] { FluidChanged(); },
                      .finished = [this] { FluidFinished(); }});
  connect(cbxFlux, &QComboBox::currentIndexChanged, this, &TFlowBenchGroup::FluxChanged);

  // At creation: the scale readings at 0 and the fluid temperature of the
  // settings, which weigh once: the first flow point's standard volume
  // shows (and is) the volume of 0 kg.
  for (QLineEdit* edit : {edtWeight0, edtWeight1, edtWeight})
    input_.SetNumber(edit, "0");
  input_.SetNumber(edtFluxTerm, QString::fromStdString(ShortestDecimal(state_.Settings.FluidTerm)));
  state_.FlowPointTerms[values_.SelectedFlowPoint()].Fluid = state_.Settings.FluidTerm;
  VolumeFromWeight();
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

void TFlowBenchGroup::Remember() {
  const int point = values_.SelectedFlowPoint();
  before_ = Before{edtWeight->text(),
                   edtVolume->text(),
                   edtFluxTerm->text(),
                   values_.StandardVolume(point),
                   state_.FlowPointTerms[point].Fluid,
                   values_.WeighedMass(point)};
}

void TFlowBenchGroup::PutBack() {
  if (!before_) return;
  const int point = values_.SelectedFlowPoint();
  input_.SetNumber(edtWeight, before_->weight);
  input_.SetNumber(edtVolume, before_->volume);
  input_.SetNumber(edtFluxTerm, before_->fluid);
  state_.FlowPointTerms[point].Fluid = before_->fluid_term;
  values_.SetStandardVolume(point, before_->standard);
  values_.SetWeighedMass(point, before_->mass);
  before_.reset();
  emit StandardVolumeChanged(point);
  emit BenchChanged(point);
}

bool TFlowBenchGroup::Weigh() {
  const std::optional<double> initial = FieldValue(*edtWeight0);
  const std::optional<double> final_reading = FieldValue(*edtWeight1);
  if (!initial || !final_reading) return true;  // a text being typed: no reading yet
  const Weighing w = FlowBenchValues::Weigh(*initial, *final_reading, std::nullopt);
  if (w.Outcome == WeighingOutcome::kNegative) return false;
  input_.SetNumber(edtWeight, QString::fromStdString(w.Weight));
  VolumeFromWeight();
  return true;
}

void TFlowBenchGroup::VolumeFromWeight() {
  const std::optional<double> weight = FieldValue(*edtWeight);
  const QString fluid_text = edtFluxTerm->text().trimmed();
  if (weight) {
    values_.SetWeighedMass(values_.SelectedFlowPoint(), *weight);
    emit BenchChanged(values_.SelectedFlowPoint());
  }
  if (!weight || fluid_text.isEmpty()) return;
  const Weighing w = FlowBenchValues::VolumeOf(*weight, ParseNumber(fluid_text.toStdString()));
  if (w.Outcome != WeighingOutcome::kDone) return;  // told when the editing ends
  input_.SetNumber(edtVolume, QString::fromStdString(w.Volume));
  StoreVolume();
}

void TFlowBenchGroup::StoreVolume() {
  const int point = values_.SelectedFlowPoint();
  const QString text = edtVolume->text().trimmed();
  const std::optional<double> v = FieldValue(*edtVolume);
  if (!v) return;
  values_.SetStandardVolume(point, text.isEmpty() ? std::nullopt : v);
  emit StandardVolumeChanged(point);
}

void TFlowBenchGroup::FluidChanged() {
  const QString text = edtFluxTerm->text().trimmed();
  const std::optional<double> fluid = ParseNumber(text.toStdString());
  if (text.isEmpty() || !fluid) return;
  state_.FlowPointTerms[values_.SelectedFlowPoint()].Fluid = *fluid;
  VolumeFromWeight();
  emit BenchChanged(values_.SelectedFlowPoint());
}

void TFlowBenchGroup::ReadingsFinished() {
  if (!Weigh()) {
    input_.Inform(QString::fromUtf8("称末值不能小于称初值"));
    PutBack();
  }
  before_.reset();
}

void TFlowBenchGroup::FluidFinished() {
  const QString text = edtFluxTerm->text().trimmed();
  const std::optional<double> fluid = ParseNumber(text.toStdString());
  if (!text.isEmpty() && fluid && !FluidTemperatureInRange(*fluid)) {
    PutBack();
    input_.WarnOutOfRange(CaptionName(*captions_, "lblFluxTerm", state_.Settings.English()), text,
                          ByLanguage(state_.Settings, "1 至 150 ℃", "1 to 150 °C"));
  }
  before_.reset();
}

void TFlowBenchGroup::FluxChanged(int index) {
  values_.SetSelectedFlowPoint(index);
  // What calibration sends is what the operator sees: the point's own.
  const std::optional<double> v = values_.StandardVolume(values_.SelectedFlowPoint());
  input_.SetNumber(edtVolume, v ? QString::fromStdString(FormatFixed(*v, 3)) : QString());
  if (!edtEntreTerm) return;
  // The weight and temperatures of the point are those it was given.
  const int point = values_.SelectedFlowPoint();
  const FlowPointTerm& t = state_.FlowPointTerms[point];
  input_.SetNumber(edtWeight, QString::fromStdString(ShortestDecimal(values_.WeighedMass(point))));
  input_.SetNumber(edtEntreTerm, QString::fromStdString(ShortestDecimal(t.Entre)));
  input_.SetNumber(edtExitTerm, QString::fromStdString(ShortestDecimal(t.Exit)));
  input_.SetNumber(edtFluxTerm, QString::fromStdString(ShortestDecimal(t.Fluid)));
}

void TFlowBenchGroup::AddTemperatures(const CaptionTable& captions) {
  captions_ = &captions;
  edtEntreTerm = Edit("edtEntreTerm");
  edtExitTerm = Edit("edtExitTerm");
  auto* grid = static_cast<QGridLayout*>(layout());
  grid->addWidget(Label("lblEntreTerm"), 3, 0);
  grid->addWidget(edtEntreTerm, 3, 1);
  grid->addWidget(Label("lblExitTerm"), 3, 2);
  grid->addWidget(edtExitTerm, 3, 3);
  btnCalibration->hide();
  for (auto [edit, term, label] : {std::tuple{edtEntreTerm, &FlowPointTerm::Entre, "lblEntreTerm"},
                                   std::tuple{edtExitTerm, &FlowPointTerm::Exit, "lblExitTerm"}}) {
    input_.WatchNumber(
        edit, [this, label] { return CaptionName(*captions_, label, state_.Settings.English()); },
        {.changed = [this, edit, term] { TermChanged(edit, term); },
         .finished = [this, edit, label] { TermFinished(edit, label); }});
  }
  // The fluid temperature's own check covers it; a mass is kept from now.
  values_.SetWeighedMass(values_.SelectedFlowPoint(), FieldValue(*edtWeight).value_or(0));
}

void TFlowBenchGroup::TermChanged(QLineEdit* edit, double FlowPointTerm::*term) {
  const std::optional<double> v = FieldValue(*edit);
  if (!v) return;
  state_.FlowPointTerms[values_.SelectedFlowPoint()].*term = *v;
  emit BenchChanged(values_.SelectedFlowPoint());
}

void TFlowBenchGroup::TermFinished(QLineEdit* edit, const char* label) {
  const QString text = edit->text().trimmed();
  const std::optional<double> v = ParseNumber(text.toStdString());
  if (text.isEmpty() || !v || FluidTemperatureInRange(*v)) return;
  input_.WarnOutOfRange(CaptionName(*captions_, label, state_.Settings.English()), text,
                        ByLanguage(state_.Settings, "1 至 150 ℃", "1 to 150 °C"));
}

}  // namespace qv
