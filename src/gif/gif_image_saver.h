// TGIFBackgroundSave: a GIF document written to a file on a thread of its own, so that the
// window that asked for it stays live; its progress, cancelling, and the file appearing under
// its name only when complete (TGIFImage::SaveToFile).
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "gif/gif_image.h"

namespace clipvane {

class TGIFBackgroundSave {
 public:
  // Starts writing `document` to `path`. The save owns the document: nothing else may touch
  // it (a copy of a shown document shares its encoded frames, so it costs little).
  // beforeWrite, when given, runs on the save's thread before every write, with the save
  // (tests hold a save there until it is cancelled).
  using TWriteHook = std::function<void(const TGIFBackgroundSave& save)>;
  TGIFBackgroundSave(std::unique_ptr<TGIFImage> document, std::string path, TWriteHook beforeWrite = {});
  // Cancels a save still running and waits for its thread: an unfinished save leaves no file
  // and the target as it was.
  ~TGIFBackgroundSave();
  TGIFBackgroundSave(const TGIFBackgroundSave&) = delete;
  TGIFBackgroundSave& operator=(const TGIFBackgroundSave&) = delete;

  // Any thread: the save stops at its next write, removing what it wrote.
  void Cancel() { cancelled_ = true; }
  bool CancelRequested() const { return cancelled_.load(); }
  // Any thread: the thread has ended, written or not.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Frames written so far, in percent.
  int Percent() const { return percent_.load(); }
  const std::string& Path() const { return path_; }
  // Once Finished: the error that ended it (none when written; EClipvaneError "Cancelled"
  // when cancelled).
  std::exception_ptr Error() const { return Finished() ? error_ : nullptr; }

 private:
  void Run();

  std::unique_ptr<TGIFImage> document_;
  std::string path_;
  TWriteHook beforeWrite_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> percent_{0};
  std::exception_ptr error_;  // written by the thread before finished_
  std::thread thread_;        // last: starts once everything it uses exists
};

}  // namespace clipvane
