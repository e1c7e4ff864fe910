// The run bracket reports what fails at a run's end instead of dropping it: the page's end
// step, and the action that waited for the last run (quitting), after a run that succeeded or
// one that failed; the run's own error comes first, and the page is given back either way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"
#include "ui/error_box.h"
#include "ui/run_scope.h"

namespace clipvane {
namespace {

class RunScopeFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorBoxPresenter([this](const std::string& text) { Shown.push_back(text); });
    other_.setEnabled(true);
  }
  void TearDown() override { SetErrorBoxPresenter(nullptr); }

  TRunScopeLinks Links(std::function<void()> endStep) {
    return {running_, abort_, {&other_}, {}, std::move(endStep), [] { return true; }};
  }

  // A page handler: the run inside its bracket, errors shown as the program shows them.
  void Handler(std::function<void()> endStep, std::function<void()> run) {
    RunHandler(nullptr, [&] {
      TRunScope scope(Links(std::move(endStep)));
      run();
    });
    QCoreApplication::processEvents();
  }

  std::vector<std::string> Shown;
  bool running_ = false, abort_ = false;
  QPushButton other_;
};

TEST_F(RunScopeFailures, EachFailureAtTheEndIsShownAfterTheRunsOwn) {
  const auto failingEnd = [] { throw EClipvaneError("The preview cannot be shown"); };
  struct TCase {
    const char* Name;
    std::function<void()> EndStep;
    std::function<void()> Run;
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> cases = {
      {"run and end step succeed", [] {}, [] {}, {}},
      {"end step fails after a good run", failingEnd, [] {}, {"The preview cannot be shown."}},
      {"both fail",
       failingEnd,
       [] { throw EClipvaneError("Frame 3 is damaged"); },
       {"Frame 3 is damaged.", "The preview cannot be shown."}},
      {"end step runs out of memory", [] { throw std::bad_alloc(); }, [] {}, {"Not enough memory."}},
  };
  for (const TCase& c : cases) {
    Shown.clear();
    Handler(c.EndStep, c.Run);
    EXPECT_EQ(Shown, c.Expected) << c.Name;
    // Whatever failed, the bracket gave everything back.
    EXPECT_FALSE(running_) << c.Name;
    EXPECT_TRUE(other_.isEnabled()) << c.Name;
    EXPECT_FALSE(TRunScope::AnyRun()) << c.Name;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.Name;
  }
}

TEST_F(RunScopeFailures, AFailingActionThatWaitedForTheRunIsShown) {
  bool ran = false;
  Handler([] {},
          [&] {
            TRunScope::WhenNoRun([&] {
              ran = true;
              throw EClipvaneError("The windows cannot be closed");
            });
            EXPECT_FALSE(ran);  // it waits for the run
          });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Shown, std::vector<std::string>{"The windows cannot be closed."});
  // Nothing is left waiting: the next run ends quietly.
  Shown.clear();
  Handler([] {}, [] {});
  EXPECT_TRUE(Shown.empty());
}

}  // namespace
}  // namespace clipvane
