// TProgressBar: the bottom bar's progress bar with the minimum, maximum, position and step
// that the long runs drive. Unlike a bare QProgressBar, an empty range (0 to 0) shows an
// empty bar, not a busy animation.
#pragma once

#include <QProgressBar>
#include <functional>

namespace clipvane {

class TProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TProgressBar(QWidget* parent = nullptr);

  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int Step() const { return step_; }

  void SetMin(int value);
  void SetMax(int value);
  // Limited to Min to Max, as the platform's bar does.
  void SetPosition(int value);
  void SetStep(int value) { step_ = value; }
  void StepIt() { SetPosition(position_ + step_); }

 private:
  void Show();

  int min_ = 0;
  int max_ = 0;
  int position_ = 0;
  int step_ = 1;
};

// A run's progress hook that shows position of 0 to maximum on bar; with no bar, nothing.
std::function<void(int position, int maximum)> ProgressBarHook(TProgressBar* bar);

}  // namespace clipvane
