// The real windows of the program for a test, with the error box and the desktop opener
// replaced by recorders so that nothing modal waits and nothing is launched, the open dialog
// answered by the test, and the media device on a clock the test steps.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/url_opener.h"
#include "support/avi_fixtures.h"
#include "ui/error_box.h"
#include "video/player_clock.h"

namespace clipvane::testing {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorBoxPresenter([this](const std::string& text) { ErrorTexts.push_back(text); });
    SetUrlOpener([this](const QUrl& url) {
      OpenedUrls.push_back(url);
      return DesktopOpens;
    });
    Clock = std::make_shared<TSteppedPlayerClock>();
    Windows = std::make_unique<TAppWindows>(Clock);
    Windows->Form1->OpenDialog1 = [this] { return DialogAnswer; };
  }
  void TearDown() override {
    Windows.reset();
    SetErrorBoxPresenter({});
    SetUrlOpener({});
  }

  TForm1& Form() { return *Windows->Form1; }
  TVideoState& State() { return Windows->State; }

  // Writes a numbered raw video of `frames` frames at `rate` frames a second.
  std::string Video(const std::string& name, int frames, int width = 64, int height = 48, int rate = 25) {
    fixtures::TFixtureAvi avi;
    avi.FrameCount = frames;
    avi.Width = width;
    avi.Height = height;
    avi.RateNumerator = rate;
    const std::string path = Folder.File(name);
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }

  // Answers the open dialog with `path` (empty: cancel) and presses "Open AVI".
  void OpenAvi(const std::string& path) {
    DialogAnswer = QString::fromStdString(path);
    Form().Button3->click();
  }

  void Step(std::chrono::milliseconds by) { Clock->Advance(by); }

  // Processes window messages until `done` holds; the time limit only guards against a hang.
  static bool ProcessUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
  }

  fixtures::TTempFolder Folder{CLIPVANE_TEST_TMP};
  std::shared_ptr<TSteppedPlayerClock> Clock;
  std::unique_ptr<TAppWindows> Windows;
  QString DialogAnswer;
  std::vector<std::string> ErrorTexts;
  std::vector<QUrl> OpenedUrls;
  bool DesktopOpens = true;  // whether the desktop has a program for what it is asked to open
};

// A control added beside the described ones covers none of its visible siblings.
inline void ExpectCoversNoSibling(const QWidget& control) {
  for (const QWidget* other : control.parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (other != &control && other->isVisible()) {
      EXPECT_FALSE(other->geometry().intersects(control.geometry())) << other->metaObject()->className();
    }
}

}  // namespace clipvane::testing
