#include "reading/ui/reading_list.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <array>

namespace qv {
namespace {

struct ListColumn {
  const char* chinese;
  const char* english;
  int width;
  Qt::Alignment align;
};

constexpr Qt::Alignment kCentre = Qt::AlignCenter;
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

// clang-format off
constexpr std::array<ListColumn, TReadingList::kColumns> kListColumns{{
    {"S",                            "S",                                               20,  kCentre},
    {"抄表地址",                     "Meter Reading Addr.",                             100, kCentre},
    {"通讯协议",                     "Comm. Protocol",                                  90,  kCentre},
    {"结算日冷热量(Kwh)",            "Settlement Date Cooling and Heat Quantity(Kwh)",  125, kCentre},
    {"当前热量(Kwh)",                "Current Heat(Kwh)",                               95,  kCentre},
    {"当前冷量(Kwh)",                "Current Cooling(Kwh)",                            95,  kCentre},
    {"热功率(Kw)",                   "Heat Power(Kw)",                                  90,  kCentre},
    {"流速(m3/h)",                   "Flow Speed(m3/h)",                                90,  kCentre},
    {"累计流量(m3)",                 "Accumulated Flow(m3)",                            90,  kCentre},
    {"供水温度(℃)",                  "Supply Water Temp.(℃)",                           90,  kCentre},
    {"回水温度(℃)",                  "Return Water Temp.(℃)",                           90,  kCentre},
    {"累计时间(h)",                  "Accumulated Time(h)",                             90,  kCentre},
    {"实时时间",                     "Real Time",                                       120, kCentre},
    {"状态",                         "State",                                           50,  kCentre},
    // Both begin with 19 blanks.
    {"                   通讯情况",  "                   Comm. State",                  300, kLeft},
    {"通道",                         "Channel",                                         0,   kLeft},
}};
// clang-format on

// Each cell framed by a line of the palette's mid tone: visible on light and
// dark themes alike.
class GridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
  }
};

// A header as tall as its most wrapped caption needs.
class WrappingHeader : public QHeaderView {
 public:
  explicit WrappingHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(false);
  }

 protected:
  QSize sectionSizeFromContents(int logical) const override {
    QSize size = QHeaderView::sectionSizeFromContents(logical);
    constexpr int kMargins = 8;
    const int width = sectionSize(logical) - kMargins;
    if (width <= 0 || !model()) return size;
    const QString text = model()->headerData(logical, orientation()).toString().trimmed();
    const QRect wrapped =
        fontMetrics().boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, text);
    size.setHeight(std::max(size.height(), wrapped.height() + kMargins));
    return size;
  }
};

// A filled disc with a dark rim and a white sign: the saturated disc stands
// out on a light list, the white sign and the disc on a dark one.
QIcon DrawIcon(const QColor& fill, RowState state) {
  constexpr int kSize = 16;
  constexpr qreal kScale = 2;  // drawn at twice the size for sharp screens
  QPixmap pixmap(kSize * kScale, kSize * kScale);
  pixmap.setDevicePixelRatio(kScale);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(fill.darker(170), 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  QPen sign(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(sign);
  p.setBrush(Qt::NoBrush);
  switch (state) {
    case RowState::Pending:  // a clock face: waiting its turn
      p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
      p.drawLine(QPointF(8, 8), QPointF(10.5, 9.5));
      break;
    case RowState::InProgress:  // three dots: talking to the meter
      p.setBrush(Qt::white);
      p.setPen(Qt::NoPen);
      for (qreal x : {4.5, 8.0, 11.5})
        p.drawEllipse(QPointF(x, 8), 1.3, 1.3);
      break;
    case RowState::Answered: {  // a tick
      QPainterPath tick;
      tick.moveTo(4.5, 8.2);
      tick.lineTo(7, 10.7);
      tick.lineTo(11.5, 5.5);
      p.drawPath(tick);
      break;
    }
    case RowState::Failed:  // a cross
      p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
      p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

QIcon TReadingList::StateIcon(RowState state) {
  static const std::array<QIcon, 4> icons{
      DrawIcon(QColor(0x7A, 0x86, 0x99), RowState::Pending),
      DrawIcon(QColor(0x1E, 0x73, 0xD8), RowState::InProgress),
      DrawIcon(QColor(0x1F, 0x9D, 0x3A), RowState::Answered),
      DrawIcon(QColor(0xD9, 0x2D, 0x20), RowState::Failed),
  };
  return icons[static_cast<size_t>(state)];
}

TReadingList::TReadingList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lvMain");
  setColumnCount(kColumns);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  setItemDelegate(new GridDelegate(this));
  setHeader(new WrappingHeader(this));
  header()->setStretchLastSection(false);
  header()->setMinimumSectionSize(0);
  // Captions longer than their column wrap onto more lines (the header
  // grows) rather than lose both ends.
  for (int c = 0; c < kColumns; ++c) {
    setColumnWidth(c, ColumnWidth(c));
    headerItem()->setData(c, Qt::TextAlignmentRole,
                          static_cast<int>(kListColumns[c].align) | Qt::TextWordWrap);
  }
  header()->setTextElideMode(Qt::ElideRight);
  setColumnHidden(kColPosition, true);
  // The popup opens from the mouse press, after the press has selected.
  setContextMenuPolicy(Qt::PreventContextMenu);
}

int TReadingList::ColumnWidth(int column) const {
  // A whole meter address and a meter clock with its seconds, with the
  // margins an item view keeps on either side of a text.
  const char* widest = column == kColAddress ? "00000000000000"
                       : column == kColClock ? "0000-00-00 00:00:00"
                                             : nullptr;
  const int width = kListColumns[column].width;
  if (!widest) return width;
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  return std::max(width, fontMetrics().horizontalAdvance(widest) + 2 * margin + 2);
}

void TReadingList::ApplyLanguage(bool english) {
  for (int c = 0; c < kColumns; ++c) {
    const QString text =
        QString::fromUtf8(english ? kListColumns[c].english : kListColumns[c].chinese);
    headerItem()->setText(c, text);
    headerItem()->setToolTip(c, text.trimmed());
  }
}

void TReadingList::ShowRows(const std::vector<ReadingRow>& rows) {
  clear();
  for (size_t i = 0; i < rows.size(); ++i) {
    auto* item = new QTreeWidgetItem(this);
    for (int c = 0; c < kColumns; ++c)
      item->setTextAlignment(c, kListColumns[c].align);
    ShowRow(static_cast<int>(i), rows[i]);
  }
}

void TReadingList::ShowRow(int i, const ReadingRow& row) {
  QTreeWidgetItem* item = topLevelItem(i);
  if (!item) return;
  item->setIcon(0, StateIcon(row.State));
  item->setText(kColAddress, QString::fromStdString(row.Address));
  item->setText(kColVersion, QString::fromStdString(row.Version));
  // A text wider than its column shows whole as the cell's tip.
  for (size_t c = 0; c < row.Columns.size(); ++c) {
    const QString text = QString::fromStdString(row.Columns[c]);
    item->setText(kColFirstData + static_cast<int>(c), text);
    item->setToolTip(kColFirstData + static_cast<int>(c), text);
  }
  item->setText(kColPosition, QString::number(row.Position));
}

void TReadingList::TakeRow(int i, ReadingRow& row) const {
  const QTreeWidgetItem* item = topLevelItem(i);
  if (!item) return;
  row.Address = item->text(kColAddress).toStdString();
  row.Version = item->text(kColVersion).toStdString();
  bool ok = false;
  const int position = item->text(kColPosition).toInt(&ok);
  if (ok && position >= 0 && position < kMeterRows) row.Position = position;
}

std::vector<size_t> TReadingList::SelectedRows() const {
  std::vector<size_t> rows;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    if (topLevelItem(i)->isSelected()) rows.push_back(static_cast<size_t>(i));
  }
  return rows;
}

void TReadingList::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::RightButton && topLevelItemCount() > 0 && !selectedItems().isEmpty()) {
    emit PopupRequested(event->globalPosition().toPoint());
  }
}

}  // namespace qv
