#include "tools/ui/other_para_grid.h"

#include <QHBoxLayout>

namespace qv {
namespace {

// Grid columns: selection, address, write value, nine pairing values,
// seven ultrasonic values, heat unit, pipe mode, PT number, lamp.
constexpr int kColData = 2;
constexpr int kColPairing = 3;
constexpr int kColUltra = kColPairing + static_cast<int>(kPairingValues);
constexpr int kColHeatUnit = kColUltra + 7;
constexpr int kColPipe = kColHeatUnit + 1;
constexpr int kColPtNo = kColPipe + 1;
constexpr int kColLamp = kColPtNo + 1;

constexpr int kDataWidth = 76;
constexpr int kPairWidth = 50;
constexpr int kUltraWidth = 46;
constexpr int kFlowWidth = 70;
constexpr int kListWidth = 64;
constexpr int kPtWidth = 80;

// The accumulated flow and the flow are wider than the other read-backs.
constexpr int UltraWidth(int k) {
  return k == 4 || k == 5 ? kFlowWidth : kUltraWidth;
}

constexpr const char* kLevels[] = {"Lo", "Mi", "Hi"};
constexpr const char* kKinds[] = {"Stad", "Entre", "Exit"};

// A heading a point smaller than the window's text; it never widens its
// column.
QLabel* Header(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() - 1);
  label->setFont(font);
  return label;
}

QGroupBox* Group(const char* name, QWidget* parent, QHBoxLayout*& line) {
  auto* group = new QGroupBox(parent);
  group->setObjectName(name);
  line = new QHBoxLayout(group);
  line->setContentsMargins(4, 0, 4, 0);
  return group;
}

QCheckBox* Box(const char* name, QWidget* parent) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(name);
  return box;
}

}  // namespace

QLabel* TOtherParaGrid::Heading(const QString& name, int width) {
  QLabel* label = Header(name, this);
  headings_.emplace_back(label, width);
  return label;
}

void TOtherParaGrid::FitHeadings() {
  // Smallest size tried: still legible on a bench PC's screen.
  constexpr qreal kSmallestPoints = 6;
  for (const auto& [label, width] : headings_) {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() - 1);
    while (QFontMetrics(font).horizontalAdvance(label->text()) > width &&
           font.pointSizeF() > kSmallestPoints)
      font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
  }
}

QString TOtherParaGrid::PairingName(size_t k) {
  return QString("edt") + kLevels[k / 3] + kKinds[k % 3];
}

TOtherParaGrid::TOtherParaGrid(QWidget* parent) : TMeterGrid(parent) {
  setObjectName("OtherParaGrid");
  QHBoxLayout* line = nullptr;
  QGroupBox* data = Group("gbData", this, line);
  cbDataType = Box("cbDataType", data);
  line->addWidget(cbDataType);
  layout_->addWidget(data, 0, kColData);

  QGroupBox* term = Group("gbTerm", this, line);
  cbTerm = Box("cbTerm", term);
  line->addWidget(cbTerm);
  for (const char* level : {"lblLow", "lblMiddle", "lblHigh"})
    line->addWidget(Header(level, term), 1);
  layout_->addWidget(term, 0, kColPairing, 1, static_cast<int>(kPairingValues));

  layout_->addWidget(Group("gbUltrasonic", this, line), 0, kColUltra, 1, 7);
  QGroupBox* other = Group("gbOther", this, line);
  cbOther = Box("cbOther", other);
  line->addWidget(cbOther);
  layout_->addWidget(other, 0, kColHeatUnit, 1, 3);

  for (size_t k = 0; k < kPairingValues; ++k) {
    layout_->addWidget(Heading(QString("lbl") + kLevels[k / 3] + kKinds[k % 3], kPairWidth), 1,
                       kColPairing + static_cast<int>(k));
  }
  const char* ultra[] = {"lblTimeDiff", "lblDownstream", "lblUpstream", "lblPipeline",
                         "lblAccFlow",  "lblFlow",       "lblStatus"};
  for (int k = 0; k < 7; ++k)
    layout_->addWidget(Heading(ultra[k], UltraWidth(k)), 1, kColUltra + k);
  layout_->addWidget(Heading("lblHeatUnit", kListWidth), 1, kColHeatUnit);
  layout_->addWidget(Heading("lblPipeMode", kListWidth), 1, kColPipe);
  layout_->addWidget(Heading("lblPtNo", kPtWidth), 1, kColPtNo);

  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    const int row = kFirstRow + r;
    edtData[r] = Cell("edtData" + n, false, kDataWidth);
    layout_->addWidget(edtData[r], row, kColData);
    for (size_t k = 0; k < kPairingValues; ++k) {
      edtPairing[k][r] = Cell(PairingName(k) + n, false, kPairWidth);
      layout_->addWidget(edtPairing[k][r], row, kColPairing + static_cast<int>(k));
    }
    // What the meters report: read-only.
    const std::pair<Column<QLineEdit>*, const char*> shown[] = {
        {&edtTimeDiff, "edtTimeDiff"}, {&edtDownstream, "edtDownstream"},
        {&edtUpstream, "edtUpstream"}, {&edtPipeline, "edtPipeline"},
        {&edtAccFlow, "edtAccFlow"},   {&edtFlow, "edtFlow"},
        {&edtStatus, "edtStatus"}};
    for (int k = 0; k < 7; ++k) {
      QLineEdit* cell = Cell(shown[k].second + n, true, UltraWidth(k));
      (*shown[k].first)[r] = cell;
      layout_->addWidget(cell, row, kColUltra + k);
    }
    cbxHeatUnit[r] = new QComboBox(this);
    cbxHeatUnit[r]->setObjectName("cbxHeatUnit" + n);
    cbxHeatUnit[r]->addItems({"kWh", "GJ"});
    cbxPipeline[r] = new QComboBox(this);
    cbxPipeline[r]->setObjectName("cbxPipeline" + n);
    for (QComboBox* list : {cbxHeatUnit[r], cbxPipeline[r]}) {
      list->setFixedWidth(kListWidth);
      list->setFixedHeight(kRowHeight);
    }
    layout_->addWidget(cbxHeatUnit[r], row, kColHeatUnit);
    layout_->addWidget(cbxPipeline[r], row, kColPipe);
    edtPtNo[r] = Cell("edtPtNo" + n, false, kPtWidth);
    layout_->addWidget(edtPtNo[r], row, kColPtNo);
  }
  AddLamps(kColLamp);
}

void TOtherParaGrid::EnableOwnCells(int r, bool on) {
  std::vector<QWidget*> cells{edtData[r], cbxHeatUnit[r], cbxPipeline[r], edtPtNo[r]};
  for (const auto& column : edtPairing)
    cells.push_back(column[r]);
  for (QWidget* w : cells)
    w->setEnabled(on);
}

}  // namespace qv
