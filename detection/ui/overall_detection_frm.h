// The overall detection window: volume and heat tested together. It runs the
// verification operations of the flow detection window (enter verification
// .. clear) over the selected meters and reads each meter's volume and heat
// at up to five flow points. The bench gives a weight and three
// temperatures per flow point, from which the window derives the standard
// volume and the reference heat; every row shows the volume error and the
// heat error of each point, each against its own limit.
//
// What it shares with the flow detection window is TDetectionFrm; this file
// adds the heat limits of its flow point groups.
#pragma once

#include "detection/ui/detection_frm.h"

namespace qv {

class TOverallDetectionFrm : public TDetectionFrm {
  Q_OBJECT

 public:
  explicit TOverallDetectionFrm(SharedState& state, QWidget* parent = nullptr);

 protected:
  void FillPoint(int k, QGroupBox* group, QLineEdit* flux) override;
};

}  // namespace qv
