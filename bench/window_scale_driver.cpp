// The window program's own windows driven through one GIF or transition run for
// bench/window_vs_cli.sh: opens the video (or the two pictures), presses "Convert", lets the
// preview animate, presses "Save", and prints what it measured as one line of key=value:
//   convert_s     the "Convert" click, from press to return
//   save_return_s the "Save" click, from the dialog's answer to the click's return
//   save_s        from the dialog's answer until the file is written
//   max_gap_ms    the longest the window's event loop was away while the file was written
//   frames        frames in the previewed GIF
//   peak_mb       the process's peak resident memory (VmHWM)
// usage: window-scale-driver gif VIDEO OUT.gif [--backward] [--best] [--play] [--hold SECONDS]
//        window-scale-driver transition SOURCE DEST OUT.gif [--steps N] [--best] [--hold SECONDS]
// Runs on any Qt platform: offscreen, or a display (Xvfb) to watch it.
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/app_windows.h"
#include "app/main_window.h"
#include "gif/gif_image.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "ui/error_box.h"
#include "ui/gif_preview_window.h"
#include "ui/gif_save_form.h"

namespace {

using namespace clipvane;

double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Runs the event loop for `seconds`, as a user looking at the animated preview would.
void Hold(double seconds) {
  QDeadlineTimer deadline(static_cast<qint64>(seconds * 1000));
  while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

[[noreturn]] void Usage() {
  std::cerr << "usage: window-scale-driver gif VIDEO OUT.gif [--backward] [--best] [--play] [--hold SECONDS]\n"
               "       window-scale-driver transition SOURCE DEST OUT.gif [--steps N] [--best] [--hold SECONDS]\n";
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList args = QApplication::arguments().mid(1);
  if (args.size() < 3) Usage();
  const bool transition = args[0] == QStringLiteral("transition");
  if (!transition && args[0] != QStringLiteral("gif")) Usage();
  const int operands = transition ? 3 : 2;
  if (args.size() < 1 + operands) Usage();
  const QString out = args[operands];
  bool backward = false, best = false, play = false;
  int steps = 50;
  double hold = 3;
  for (int i = 1 + operands; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--backward")) backward = true;
    else if (args[i] == QStringLiteral("--best")) best = true;
    else if (args[i] == QStringLiteral("--play")) play = true;
    else if (args[i] == QStringLiteral("--steps") && i + 1 < args.size()) steps = args[++i].toInt();
    else if (args[i] == QStringLiteral("--hold") && i + 1 < args.size()) hold = args[++i].toDouble();
    else Usage();
  }

  SetProgramFont();
  std::vector<std::string> errors;
  SetErrorBoxPresenter([&](const std::string& text) {
    errors.push_back(text);
    std::cerr << "error box: " << text << "\n";
  });
  SetGifSaveDialog([&](QWidget*, const QString&) { return out; });
  SetGifOverwriteQuestion([](const QString&) { return true; });

  TAppWindows windows;
  TForm1& form = *windows.Form1;
  form.show();
  QElapsedTimer clock;
  double convertSeconds = 0;
  QPushButton* save = nullptr;
  if (!transition) {
    form.OpenDialog1 = [&] { return args[1]; };
    form.Button3->click();
    if (!errors.empty()) return 1;
    form.PageControl1->setCurrentWidget(form.GifPage);
    // The video as the user left it: paused, or playing while the run goes.
    if (play) {
      if (form.Button9->isEnabled()) form.Button9->click();
    } else if (form.Button10->isEnabled()) {
      form.Button10->click();
    }
    Hold(0.5);
    TGifPage& page = *form.GifPage;
    page.RadioBackward->setChecked(backward);
    page.RadioForward->setChecked(!backward);
    page.CheckBoxBest->setChecked(best);
    clock.start();
    page.Button5->click();
    convertSeconds = clock.nsecsElapsed() / 1e9;
    save = page.Button6;
  } else {
    form.PageControl1->setCurrentWidget(form.TransitionsPage);
    TTransitionsPage& page = *form.TransitionsPage;
    page.OpenImageFile(TTransitionSlotId::tsSource, args[1]);
    page.OpenImageFile(TTransitionSlotId::tsDestination, args[2]);
    page.StepEdit->setValue(steps);
    page.CheckBoxBest->setChecked(best);
    clock.start();
    page.ConvertButton->click();
    convertSeconds = clock.nsecsElapsed() / 1e9;
    save = page.SaveButton;
  }
  if (!errors.empty()) return 1;
  const TGIFImage* document = windows.Form3->Document();
  const int frames = document != nullptr ? document->Images().Count() : 0;
  Hold(hold);

  // How long the event loop is away: a 10 ms timer notes the longest gap between its ticks.
  qint64 maxGapMs = 0;
  QElapsedTimer sinceTick;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    maxGapMs = std::max(maxGapMs, sinceTick.elapsed());
    sinceTick.restart();
  });
  std::remove(out.toLocal8Bit().constData());
  clock.restart();
  sinceTick.start();
  ticker.start();
  save->click();
  const double saveReturnSeconds = clock.nsecsElapsed() / 1e9;
  maxGapMs = std::max(maxGapMs, sinceTick.elapsed());
  sinceTick.restart();
  if (!WaitForGifSaves(600000)) {
    std::cerr << "the save did not end\n";
    return 1;
  }
  const double saveSeconds = clock.nsecsElapsed() / 1e9;
  ticker.stop();
  if (!errors.empty()) return 1;

  std::printf("convert_s=%.3f save_return_s=%.3f save_s=%.3f max_gap_ms=%lld frames=%d peak_mb=%.1f\n", convertSeconds,
              saveReturnSeconds, saveSeconds, static_cast<long long>(maxGapMs), frames, PeakResidentMb());
  return 0;
}
