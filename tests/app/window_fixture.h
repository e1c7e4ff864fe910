// The real windows of the program for a test, with the error box and the desktop opener
// replaced by recorders so that nothing modal waits and nothing is launched.
#pragma once

#include <gtest/gtest.h>

#include <QUrl>
#include <string>
#include <vector>

#include "app/app_windows.h"
#include "app/error_box.h"
#include "app/url_opener.h"

namespace clipvane::testing {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorBoxPresenter([this](const std::string& text) { ErrorTexts.push_back(text); });
    SetUrlOpener([this](const QUrl& url) { OpenedUrls.push_back(url); });
    Windows = std::make_unique<TAppWindows>();
  }
  void TearDown() override {
    Windows.reset();
    SetErrorBoxPresenter({});
    SetUrlOpener({});
  }

  std::unique_ptr<TAppWindows> Windows;
  std::vector<std::string> ErrorTexts;
  std::vector<QUrl> OpenedUrls;
};

}  // namespace clipvane::testing
