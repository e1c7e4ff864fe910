// Jobs for the window on threads of their own: the result arrives on the window's thread, a
// newer job stops an older one whose result never shows, a job that throws shows nothing, and
// a job still running when its owner goes is stopped and waited for.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ui/background_job.h"

namespace clipvane {
namespace {

bool ProcessUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(10000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Work that runs until stopped or released, then returns `text`.
TBackgroundJob::TWork Held(std::atomic<bool>& release, std::atomic<int>& stops, std::string text) {
  return [&release, &stops, text](const std::function<bool()>& stopped) {
    while (!release.load()) {
      if (stopped()) {
        ++stops;
        return std::string("stopped");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return text;
  };
}

TEST(BackgroundJob, OnlyTheNewestResultShowsOnTheWindowsThread) {
  std::vector<std::string> shown;
  std::vector<bool> onWindowThread;
  QObject owner;
  TBackgroundJob job(&owner, [&](const std::string& text) {
    shown.push_back(text);
    onWindowThread.push_back(QThread::currentThread() == owner.thread());
  });
  std::atomic<bool> releaseOld{false}, releaseNew{false};
  std::atomic<int> stops{0};
  job.Start(Held(releaseOld, stops, "old"));
  EXPECT_TRUE(job.Busy());
  job.Start(Held(releaseNew, stops, "new"));
  ASSERT_TRUE(ProcessUntil([&] { return stops.load() == 1; }));
  releaseOld = true;
  releaseNew = true;
  ASSERT_TRUE(ProcessUntil([&] { return !job.Busy(); }));
  EXPECT_EQ(shown, std::vector<std::string>{"new"});
  EXPECT_EQ(onWindowThread, std::vector<bool>{true});

  // A failing job shows nothing; a stopped one shows nothing at all.
  job.Start([](const std::function<bool()>&) -> std::string { throw std::runtime_error("no"); });
  ASSERT_TRUE(ProcessUntil([&] { return !job.Busy(); }));
  EXPECT_EQ(shown.back(), "");
  std::atomic<bool> never{false};
  job.Start(Held(never, stops, "never"));
  job.Stop();
  EXPECT_FALSE(job.Busy());
  ASSERT_TRUE(ProcessUntil([&] { return stops.load() == 2; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown.size(), 2u);
}

TEST(BackgroundJob, GoingAwayStopsAndWaitsForTheJob) {
  std::atomic<bool> never{false};
  std::atomic<int> stops{0};
  int shown = 0;
  {
    QObject owner;
    auto* job = new TBackgroundJob(&owner, [&](const std::string&) { ++shown; });
    job->Start(Held(never, stops, "never"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(stops.load(), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(shown, 0);
}

}  // namespace
}  // namespace clipvane
