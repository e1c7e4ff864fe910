// TSplashForm: the picture is decoded when the window is created and fills its client area.
#include "app/splash_form.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

#include "app/splash_picture.h"

namespace clipvane {

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(400, 266);
  Image1 = new QLabel(this);
  Image1->setGeometry(0, 0, 400, 266);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setScaledContents(true);
  Image1->setPixmap(QPixmap::fromImage(LoadSplashPicture()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

}  // namespace clipvane
