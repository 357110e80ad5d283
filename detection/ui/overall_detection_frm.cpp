#include "detection/ui/overall_detection_frm.h"

#include <QGridLayout>

#include "detection/ui/flow_bench_group.h"
#include "detection/ui/flow_captions.h"
#include "ui/operator_input.h"
#include "ui/widgets.h"

namespace qv {

namespace {

constexpr Caption kOwnCaptions[] = {
    {"gbBench", "体积、温度", "Volume、Temp."},
    {"lblFluxTerm", "流体：", " Fluid："},
    {"lblEntreTerm", "进口：", " Entre："},
    {"lblExitTerm", "出口：", " Exit："},
    {"btnFlow", "流量", "Flow"},
    {"btnEnd", "结束", "End"},
};
constexpr Caption kPointCaptions[] = {
    {"lblQ%1Bulk", "体积(L)", "Vol.(L)"}, {"lblQ%1BulkError", "误差(%)", "Err.(%)"},
    {"lblQ%1Heat", "热量", "Heat"},       {"lblQ%1HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit%1", "(kWh)", "(kWh)"},
};

constexpr TDetectionFrm::Kind kOverall{
    "OverallDetectionFrm", OverallCaptions, OverallOperations, true, "btnFlow", "btnEnd"};

}  // namespace

const CaptionTable& OverallCaptions() {
  static const CaptionTable table =
      DetectionCaptions({nullptr, "总体检测", "Total Detection"}, kOwnCaptions, kPointCaptions);
  return table;
}

TOverallDetectionFrm::TOverallDetectionFrm(SharedState& state, QWidget* parent)
    : TDetectionFrm(state, kOverall, parent) {
  Build();
  input_->AddEnterChain({bench_->edtWeight0, bench_->edtWeight1, bench_->edtWeight,
                         bench_->edtVolume, bench_->cbxFlux, bench_->edtEntreTerm,
                         bench_->edtExitTerm, bench_->edtFluxTerm});
}

void TOverallDetectionFrm::FillPoint(int k, QGroupBox* group, QLineEdit* flux) {
  const QString n = QString::number(k + 1);
  flux->setFixedWidth(56);
  volume_limit_[k] = Named<QLabel>(qPrintable("lblBulkError" + n), group);
  heat_limit_[k] = Named<QLabel>(qPrintable("lblHeatError" + n), group);
  auto* unit = Named<QLabel>(qPrintable("lblHeatUnit" + n), group);
  auto* inner = new QGridLayout(group);
  inner->setContentsMargins(4, 2, 4, 2);
  inner->setVerticalSpacing(0);
  inner->addWidget(flux, 0, 0);
  inner->addWidget(new QLabel("L/h", group), 0, 1);
  inner->addWidget(volume_limit_[k], 0, 2);
  inner->addWidget(unit, 1, 1);
  inner->addWidget(heat_limit_[k], 1, 2);
  inner->setColumnStretch(2, 1);
}

}  // namespace qv
