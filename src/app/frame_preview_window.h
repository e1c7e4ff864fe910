// TForm5: the frame preview window, resizable, 400 x 320 at first; the frames page gives it
// its tool bar, view and status bar.
#pragma once

#include <QWidget>

namespace clipvane {

class TForm5 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm5(QWidget* parent = nullptr);
};

}  // namespace clipvane
