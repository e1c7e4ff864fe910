// TForm3: the "GIF preview" window; one picture fills its client area. The GIF page fills it.
#pragma once

#include <QDialog>

class QLabel;

namespace clipvane {

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm3(QWidget* parent = nullptr);

  void SetClientSize(int width, int height);

  QLabel* Image1 = nullptr;
};

}  // namespace clipvane
