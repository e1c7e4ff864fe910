// Jobs on threads of their own, their results posted back to the window's thread.
#include "ui/background_job.h"

#include <QMetaObject>
#include <utility>

namespace clipvane {

TBackgroundJob::TBackgroundJob(QObject* parent, std::function<void(const std::string&)> done)
    : QObject(parent), done_(std::move(done)) {}

TBackgroundJob::~TBackgroundJob() {
  for (TRunning& running : running_) running.Stopped->store(true);
  Reap(true);
}

void TBackgroundJob::Reap(bool all) {
  for (auto it = running_.begin(); it != running_.end();) {
    if (all || it->Finished->load()) {
      it->Thread.join();
      it = running_.erase(it);
    } else {
      ++it;
    }
  }
}

void TBackgroundJob::Stop() {
  ++generation_;
  busy_ = false;
  for (TRunning& running : running_) running.Stopped->store(true);
  Reap(false);
}

void TBackgroundJob::Start(TWork work) {
  Stop();
  const unsigned generation = generation_;
  busy_ = true;
  TRunning running{{}, std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false)};
  auto stopped = running.Stopped;
  auto finished = running.Finished;
  running.Thread = std::thread([this, work = std::move(work), stopped, finished, generation] {
    std::string text;
    try {
      text = work([stopped] { return stopped->load(); });
    } catch (...) {
      text.clear();
    }
    // Posted to this object: when it is gone first, the event goes with it.
    if (!stopped->load())
      QMetaObject::invokeMethod(
          this,
          [this, text, generation] {
            if (generation != generation_) return;
            busy_ = false;
            Reap(false);
            done_(text);
          },
          Qt::QueuedConnection);
    finished->store(true);
  });
  running_.push_back(std::move(running));
}

}  // namespace clipvane
