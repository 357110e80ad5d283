// The basic parameters group "gbBase" of both detection windows: pipe size,
// accuracy class and location lists, the tester and the test date under
// them.
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

BaseGroup BuildBaseGroup();

}  // namespace qv
