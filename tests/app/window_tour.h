// A tour of the program's windows with a video open: each page of the main window in the option
// states that show more controls, the "Video", "GIF preview" and frames preview windows, the
// folder chooser, About and Help. At each stop `visit(name, window)` is called; the tour puts
// the options back as it goes.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <functional>

#include "app/about_form.h"
#include "app/app_windows.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "pages/frames/folder_chooser_form.h"
#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "ui/gif_preview_window.h"
#include "ui/video_window.h"

namespace clipvane::testing {

using TTourStop = std::function<void(const QString& name, QWidget& window)>;

// Processes window messages for `ms` milliseconds.
inline void SettleWindows(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The main window must be shown with a video opened; the video is paused first, so that
// nothing moves between the stops.
inline void TourWindows(TAppWindows& windows, const TTourStop& visit) {
  TForm1& form = *windows.Form1;
  if (form.Button10->isEnabled()) form.Button10->click();

  TFramesPage& frames = *form.FramesPage;
  form.PageControl1->setCurrentIndex(0);
  visit(QStringLiteral("main-frames"), form);
  frames.RadioButton7->click();
  frames.RadioButton9->click();
  frames.RadioButton11->click();
  visit(QStringLiteral("main-frames-range-jpeg-specified"), form);
  frames.RadioButton6->click();
  frames.RadioButton8->click();
  frames.RadioButton10->click();

  TGifPage& gif = *form.GifPage;
  form.PageControl1->setCurrentIndex(1);
  visit(QStringLiteral("main-gif"), form);
  gif.RadioButton2->click();
  gif.RadioButton4->click();
  gif.ComboBox2->setCurrentText(QString::fromLatin1(TGifPage::kScale));
  visit(QStringLiteral("main-gif-part-range-scale"), form);
  gif.RadioButton5->click();
  gif.ComboBox2->setCurrentText(QString::fromLatin1(TGifPage::kSpecifiedSize));
  visit(QStringLiteral("main-gif-time-specified"), form);
  gif.RadioButton1->click();
  gif.RadioButton3->click();
  gif.ComboBox2->setCurrentText(QString::fromLatin1(TGifPage::kAsAviWindowSize));

  form.PageControl1->setCurrentIndex(2);
  visit(QStringLiteral("main-transitions"), form);
  visit(QStringLiteral("video"), *windows.Form2);

  form.PageControl1->setCurrentIndex(1);
  gif.Button5->click();
  visit(QStringLiteral("main-gif-converted"), form);
  visit(QStringLiteral("gif-preview"), *windows.Form3);
  gif.Button4->click();

  form.PageControl1->setCurrentIndex(0);
  frames.Button12->click();
  visit(QStringLiteral("main-frames-extracted"), form);
  frames.Button16->click();
  visit(QStringLiteral("frames-preview"), *windows.Form5);
  windows.Form5->hide();
  frames.Button14->click();

  TForm4 chooser(&form);
  chooser.SetFolder(QDir::homePath());
  chooser.show();
  visit(QStringLiteral("folder-chooser"), chooser);
  chooser.hide();

  windows.AboutForm->show();
  visit(QStringLiteral("about"), *windows.AboutForm);
  windows.AboutForm->hide();

  form.Button1->click();
  if (THelpWindow* help = form.HelpWindow()) {
    visit(QStringLiteral("help"), *help);
    help->hide();
  }
}

}  // namespace clipvane::testing
