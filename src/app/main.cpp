// Program start: the application title, the splash window during start-up, the windows
// created hidden, then the event loop until the main window closes. A video named on the
// command line (as the desktop entry passes it) is opened once the main window shows.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QtGlobal>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_usage.h"
#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/splash_form.h"
#include "core/interrupt_cleanup.h"
#include "core/malloc_arenas.h"
#include "core/version.h"
#include "imageio/image_library_versions.h"
#include "ui/error_box.h"
#include "usage/argument_parser.h"
#include "usage/help_text.h"
#include "video/ffmpeg_versions.h"

namespace {

std::string VersionText() {
  return std::string("clipvane ") + clipvane::kVersion + "\nFFmpeg: " + clipvane::FfmpegVersions() +
         "\nzimg: " + clipvane::ZimgVersion() + "\nlibjpeg: " + clipvane::JpegLibraryVersion() +
         "\nlibpng: " + clipvane::PngLibraryVersion() + "\nlibtiff: " + clipvane::TiffLibraryVersion() +
         "\nQt: " + qVersion() + "\n";
}

// --help and --version are answered before Qt starts, so they work without a display.
bool AnswersAtOnce(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << clipvane::usage::ProgramHelp(clipvane::AppUsage());
      return true;
    }
    if (arg == "--version" || arg == "-V") {
      std::cout << VersionText();
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswersAtOnce(argc, argv)) return 0;
  // Told to quit (SIGTERM, SIGHUP, SIGINT) in the middle of a save, the program leaves no
  // partial file.
  clipvane::RemoveTemporaryFilesOnInterrupt();
  clipvane::ShareMallocArenas();
  QApplication application(argc, argv);
  // What is left once Qt has taken its own options.
  clipvane::TAppCommandLine commandLine;
  try {
    std::vector<std::string> args;
    for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toStdString());
    commandLine = clipvane::ParseAppCommandLine(args);
  } catch (const clipvane::usage::TUsageError& error) {
    std::cerr << "clipvane: " << error.what() << "\nusage: clipvane " << clipvane::AppUsage().Synopsis << "\n";
    return 2;
  }
  QApplication::setApplicationName(QString::fromUtf8(clipvane::kApplicationTitle));
  QApplication::setApplicationDisplayName(QString::fromUtf8(clipvane::kApplicationTitle));
  // The windows have a fixed layout made for a compact 8-point font.
  clipvane::SetProgramFont();

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
  if (!commandLine.Video.empty()) {
    const QString video = QFileInfo(QString::fromStdString(commandLine.Video)).absoluteFilePath();
    clipvane::TForm1* form1 = windows.Form1.get();
    QTimer::singleShot(0, form1, [form1, video] { clipvane::RunHandler(form1, [&] { form1->OpenVideo(video); }); });
  }
  return QApplication::exec();
}
