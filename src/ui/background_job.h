// A piece of work for the window done on a thread of its own (a size estimate): its result
// comes back on the window's thread; starting a newer job stops the older one, whose result
// is then dropped. The window never waits for a job, except for stopping those still running
// when it goes.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace clipvane {

class TBackgroundJob : public QObject {
 public:
  // The work: told whether it should stop (ask often), it returns the text to show.
  using TWork = std::function<std::string(const std::function<bool()>& stopped)>;

  // `done` gets the text of each job that ran to its end while it was the newest one, on
  // the thread the object lives in; a job that throws gives "".
  TBackgroundJob(QObject* parent, std::function<void(const std::string&)> done);
  ~TBackgroundJob() override;
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;

  // Stops the job running, if any, and starts `work`.
  void Start(TWork work);
  // Stops the job running: its result is dropped.
  void Stop();
  // A job started and not yet done or stopped.
  bool Busy() const { return busy_; }

 private:
  struct TRunning {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Stopped;
    std::shared_ptr<std::atomic<bool>> Finished;
  };
  // Joins the threads that have finished.
  void Reap(bool all);

  std::function<void(const std::string&)> done_;
  std::vector<TRunning> running_;
  unsigned generation_ = 0;
  bool busy_ = false;
};

}  // namespace clipvane
