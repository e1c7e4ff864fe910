// window-screenshots OUTDIR VIDEO: the program's windows as it makes them, with VIDEO opened,
// each page and window (and the option states that show more controls) saved as OUTDIR/*.png,
// and every text that a control cannot show whole listed on stdout. Exit status 1 when any
// text is listed. scripts/window-screenshots runs it under Xvfb at two scales.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <iostream>
#include <string>

#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/text_fit.h"
#include "app/window_tour.h"
#include "ui/error_box.h"
#include "ui/video_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::cerr << "usage: window-screenshots OUTDIR VIDEO\n";
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  clipvane::SetProgramFont();
  // An error box would wait for a click: say it and go on.
  clipvane::SetErrorBoxPresenter([](const std::string& text) { std::cout << "error box: " << text << "\n"; });

  int faults = 0;
  const auto shoot = [&](const QString& name, QWidget& window) {
    clipvane::testing::SettleWindows(300);
    const QString path = folder + QStringLiteral("/") + name + QStringLiteral(".png");
    if (!window.grab().save(path)) std::cerr << "window-screenshots: cannot write " << path.toStdString() << "\n";
    for (const std::string& fault : clipvane::testing::TextFaults(window)) {
      std::cout << name.toStdString() << ": " << fault << "\n";
      ++faults;
    }
  };

  clipvane::TAppWindows windows;
  clipvane::TForm1& form = *windows.Form1;
  form.show();
  shoot(QStringLiteral("main-start"), form);
  clipvane::RunHandler(&form, [&] { form.OpenVideo(QString::fromLocal8Bit(argv[2])); });
  QDeadlineTimer playing(5000);
  while (windows.Form2->ShownFrame() < 0 && !playing.hasExpired()) clipvane::testing::SettleWindows(50);
  clipvane::testing::TourWindows(windows, shoot);

  form.close();
  std::cout << faults << " texts do not fit\n";
  return faults == 0 ? 0 : 1;
}
