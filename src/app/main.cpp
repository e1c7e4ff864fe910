// Program start: the application title, the splash window during start-up, the windows
// created hidden, then the event loop until the main window closes. A video named on the
// command line (as the desktop entry passes it) is opened once the main window shows.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QTimer>
#include <memory>

#include "app/app_windows.h"
#include "app/error_box.h"
#include "app/main_window.h"
#include "app/splash_form.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(clipvane::kApplicationTitle));
  QApplication::setApplicationDisplayName(QString::fromUtf8(clipvane::kApplicationTitle));
  // The windows have a fixed layout made for a compact 8-point font.
  QFont font = QApplication::font();
  font.setPointSize(8);
  QApplication::setFont(font);

  std::unique_ptr<clipvane::TSplashForm> splash;
  try {
    splash = std::make_unique<clipvane::TSplashForm>();
    splash->show();
    splash->repaint();
  } catch (const std::exception& error) {
    // A broken splash picture must not stop the program.
    clipvane::ShowErrorBox(nullptr, error.what());
  }
  QApplication::processEvents();

  clipvane::TAppWindows windows;

  // The splash stays alone on the screen for 3000 ms. The wait takes no user input (no other
  // window is visible yet) but lets the splash be drawn by the window system.
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 3000)
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents,
                                static_cast<int>(3000 - waited.elapsed()));
  splash.reset();

  windows.Form1->show();
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) {
    const QString video = QFileInfo(arguments.at(1)).absoluteFilePath();
    clipvane::TForm1* form1 = windows.Form1.get();
    QTimer::singleShot(0, form1, [form1, video] { clipvane::RunHandler(form1, [&] { form1->OpenVideo(video); }); });
  }
  return QApplication::exec();
}
