#include "detection/ui/base_group.h"

#include <QGridLayout>

#include "core/shared_state.h"
#include "ui/widgets.h"

namespace qv {

BaseGroup BuildBaseGroup() {
  auto* group = Named<QGroupBox>("gbBase", nullptr);
  BaseGroup b{group,
              Named<QComboBox>("cbxCaliber", group),
              Named<QComboBox>("cbxLevel", group),
              Named<QComboBox>("cbxLocation", group),
              Named<QLabel>("lblOperName", group),
              Named<QLabel>("lblDateTime1", group)};
  for (int32_t dn : DnSizeTable)
    b.cbxCaliber->addItem(QString::number(dn));
  b.cbxLevel->addItems({"", "", ""});
  b.cbxLocation->addItems({"", ""});
  for (QComboBox* list : {b.cbxCaliber, b.cbxLevel, b.cbxLocation})
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* grid = new QGridLayout(group);
  // Close to the frame above and below, as the bench group beside it: the
  // band under the grid stays low enough for all 20 rows on 1366 x 768.
  grid->setContentsMargins(9, 3, 9, 3);
  grid->setVerticalSpacing(3);
  grid->addWidget(Named<QLabel>("lblCaliber", group), 0, 0);
  grid->addWidget(b.cbxCaliber, 0, 1);
  grid->addWidget(Named<QLabel>("lblLevel", group), 1, 0);
  grid->addWidget(b.cbxLevel, 1, 1);
  grid->addWidget(Named<QLabel>("lblLocation", group), 2, 0);
  grid->addWidget(b.cbxLocation, 2, 1);
  grid->addWidget(Named<QLabel>("lblOperNameCaption", group), 3, 0);
  grid->addWidget(b.lblOperName, 3, 1);
  grid->addWidget(Named<QLabel>("lblDateTimeCaption", group), 4, 0);
  grid->addWidget(b.lblDateTime1, 4, 1);
  return b;
}

}  // namespace qv
