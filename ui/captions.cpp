#include "ui/captions.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <string_view>

namespace qv {

void ApplyCaptions(QWidget& root, const CaptionTable& table, bool english) {
  if (table.title.chinese) {
    root.setWindowTitle(ByLanguage(english, table.title.chinese, table.title.english));
  }
  for (const Caption& c : table.captions) {
    const QString text = ByLanguage(english, c.chinese, c.english);
    QObject* o = root.findChild<QWidget*>(c.object);
    if (auto* group = qobject_cast<QGroupBox*>(o)) {
      group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
      button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(o)) {
      label->setText(text);
    } else if (auto* action = root.findChild<QAction*>(c.object)) {
      action->setText(text);  // a menu's own action carries the menu's title
    }
  }
  for (const ListCaptions& list : table.lists) {
    auto* combo = root.findChild<QComboBox*>(list.object);
    if (!combo) continue;
    const auto& texts = english ? list.english : list.chinese;
    for (int i = 0; i < combo->count() && i < static_cast<int>(texts.size()) && texts[i]; ++i) {
      combo->setItemText(i, QString::fromUtf8(texts[i]));
    }
  }
}

QTimer* FollowLanguage(QWidget* window, const SystemSettings& settings, const int& shown,
                       std::function<void()> show) {
  constexpr int kFollowUpMs = 1000;
  auto* timer = new QTimer(window);
  timer->setObjectName("Timer1");
  timer->setInterval(kFollowUpMs);
  QObject::connect(timer, &QTimer::timeout, window, [&settings, &shown, show = std::move(show)] {
    if (settings.Language != shown) show();
  });
  timer->start();
  return timer;
}

QString CaptionName(const CaptionTable& table, const char* object, bool english) {
  for (const Caption& c : table.captions) {
    if (std::string_view(object) != c.object) continue;
    QString name = ByLanguage(english, c.chinese, c.english).trimmed();
    if (name.endsWith(QChar(0xFF1A))) name.chop(1);  // the full-width colon
    return name.trimmed();
  }
  return QString::fromUtf8(object);
}

}  // namespace qv
