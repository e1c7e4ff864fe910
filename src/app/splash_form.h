// TSplashForm: the borderless, always-on-top start-up window showing the splash picture.
#pragma once

#include <QWidget>

class QLabel;

namespace clipvane {

class TSplashForm : public QWidget {
  Q_OBJECT

 public:
  explicit TSplashForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
};

}  // namespace clipvane
