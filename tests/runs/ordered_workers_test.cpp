// Items worked on by several threads come back in the order they were given, never more than
// the capacity held at once, each with the error its own work ended with.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "runs/gif/ordered_workers.h"

namespace clipvane {
namespace {

struct TItem {
  int Number = 0;
  int Result = 0;
};

TEST(OrderedWorkers, ItemsComeBackInTheirOrderWhateverOrderTheyFinishIn) {
  // Item 0 cannot finish before item 1 has: the workers finish them out of order.
  std::mutex mutex;
  std::condition_variable changed;
  bool oneDone = false;
  TOrderedWorkers<TItem> workers(
      2, 4,
      [&](TItem& item) {
        std::unique_lock<std::mutex> lock(mutex);
        if (item.Number == 0) changed.wait(lock, [&] { return oneDone; });
        if (item.Number == 1) oneDone = true;
        changed.notify_all();
        item.Result = item.Number * 10;
      },
      "test-workers");
  for (int n = 0; n < 4; ++n) workers.Submit(TItem{n, 0});
  for (int n = 0; n < 4; ++n) {
    const auto done = workers.Take();
    EXPECT_FALSE(done.Error);
    EXPECT_EQ(done.Item.Number, n);
    EXPECT_EQ(done.Item.Result, n * 10);
  }
  EXPECT_EQ(workers.Held(), 0u);
}

TEST(OrderedWorkers, HoldsAtMostItsCapacityAndEachItemKeepsItsOwnError) {
  TOrderedWorkers<TItem> workers(
      2, 3,
      [](TItem& item) {
        if (item.Number % 3 == 1) throw std::runtime_error("item " + std::to_string(item.Number));
        item.Result = 1;
      },
      "test-workers");
  std::vector<std::string> seen;
  for (int n = 0; n < 9; ++n) {
    // Room is made by taking the oldest, never by waiting in Submit.
    if (workers.Full()) {
      EXPECT_EQ(workers.Held(), 3u);
      EXPECT_THROW(workers.Submit(TItem{99, 0}), std::logic_error);
      const auto done = workers.Take();
      try {
        if (done.Error) std::rethrow_exception(done.Error);
        seen.push_back(std::to_string(done.Item.Number) + " ok");
      } catch (const std::runtime_error& error) {
        seen.push_back(error.what());
      }
    }
    workers.Submit(TItem{n, 0});
  }
  while (workers.Held() > 0) {
    const auto done = workers.Take();
    seen.push_back(std::to_string(done.Item.Number) + (done.Error ? " failed" : " ok"));
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"0 ok", "item 1", "2 ok", "3 ok", "item 4", "5 ok", "6 ok", "7 failed", "8 ok"}));
  EXPECT_THROW(workers.Take(), std::logic_error);
}

}  // namespace
}  // namespace clipvane
