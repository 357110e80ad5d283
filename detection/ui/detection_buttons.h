// The operation buttons of both detection windows, four to a row, packed
// without gaps: the buttons a bench does not use (initialise for a
// mechanical meter, start and end below DN 50) leave no hole.
#pragma once

#include <QGridLayout>
#include <QPushButton>
#include <array>
#include <functional>

namespace qv {

class TDetectionButtons : public QWidget {
  Q_OBJECT

 public:
  // What the buttons do; the names of the read and end buttons differ
  // between the two windows.
  struct Actions {
    const char* flow_name;
    const char* end_name;
    std::function<void(int code)> run;  // an operation of the window's table
    std::function<void()> read_flow;    // the selected flow point's read
    std::function<void()> clear_face;   // "界面清空"
  };

  explicit TDetectionButtons(Actions actions, QWidget* parent = nullptr);

  // After showing or hiding buttons.
  void Pack();

  QPushButton* btnInit;
  QPushButton* btnStart;
  QPushButton* btnEnd;
  QPushButton* btnExcel;

 private:
  QPushButton* Button(const char* name, std::function<void()> clicked);

  std::array<QPushButton*, 10> buttons_{};
  QGridLayout* grid_;
};

}  // namespace qv
