// The basic parameters group "gbBase" of both detection windows: pipe size,
// accuracy class and location lists, the tester and the test date.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace qv {

struct BaseGroup {
  QGroupBox* group;
  QComboBox* cbxCaliber;
  QComboBox* cbxLevel;
  QComboBox* cbxLocation;
  QLabel* lblOperName;
  QLabel* lblDateTime1;
};

// `stacked`: the tester and the date under the lists (the overall window)
// rather than beside them.
BaseGroup BuildBaseGroup(bool stacked);

}  // namespace qv
