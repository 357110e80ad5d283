// Captions from one table per window, in both languages, applied by one
// function: the window title, every captioned control found by its object
// name (labels, buttons, check boxes, group boxes, menus and their items),
// and the items of the window's lists.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <span>

#include "core/shared_state.h"

namespace qv {

struct Caption {
  const char* object;
  const char* chinese;
  const char* english;
};

// The items of a list, by position.
struct ListCaptions {
  const char* object;
  std::array<const char*, 5> chinese;
  std::array<const char*, 5> english;
};

struct CaptionTable {
  Caption title;  // `object` unused
  std::span<const Caption> captions;
  std::span<const ListCaptions> lists = {};
};

// Sets the title, the caption of every listed control under `root` and the
// items of the listed lists (their current index kept).
void ApplyCaptions(QWidget& root, const CaptionTable& table, bool english);

// The caption of `object` without its blanks and full-width colon ("称初值",
// "Initial Value"), naming the field in messages; the object name itself
// when the table has no caption for it.
QString CaptionName(const CaptionTable& table, const char* object, bool english);

// "Timer1" of `window`, started: once a second, `show` runs when the
// `Language` setting is not `shown`. A language chosen in another window
// changes the settings without a signal; it reaches this window within a
// second.
QTimer* FollowLanguage(QWidget* window, const SystemSettings& settings, const int& shown,
                       std::function<void()> show);

// One text of the two, by language (`Language` 1 is English, every other
// value Chinese).
inline QString ByLanguage(bool english, const char* chinese, const char* english_text) {
  return QString::fromUtf8(english ? english_text : chinese);
}
inline QString ByLanguage(const SystemSettings& s, const char* chinese, const char* english) {
  return ByLanguage(s.English(), chinese, english);
}

}  // namespace qv
