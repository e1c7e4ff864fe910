// The save's thread: the document's progress as frames are written, a cancel asked before
// every write, the error kept for the thread that started it.
#include "gif/gif_image_saver.h"

#include <pthread.h>

#include <utility>

namespace clipvane {

TGIFBackgroundSave::TGIFBackgroundSave(std::unique_ptr<TGIFImage> document, std::string path, TWriteHook beforeWrite)
    : document_(std::move(document)), path_(std::move(path)), beforeWrite_(std::move(beforeWrite)) {
  thread_ = std::thread([this] { Run(); });
  pthread_setname_np(thread_.native_handle(), "gif-save");
}

TGIFBackgroundSave::~TGIFBackgroundSave() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

void TGIFBackgroundSave::Run() {
  try {
    if (!document_) throw GIFException(sGIFUnsupportedVersion);
    document_->OnProgress = [this](TGIFPersistent*, TProgressStage stage, int percent, bool, const TRect&,
                                   const std::string& message) {
      if (stage == psRunning && message == sGIFSaving) percent_ = percent;
    };
    document_->SaveToFile(path_, [this] {
      if (beforeWrite_) beforeWrite_(*this);
      return cancelled_.load();
    });
    percent_ = 100;
  } catch (...) {
    error_ = std::current_exception();
  }
  // The document goes on this thread: its frames were this thread's alone.
  document_.reset();
  finished_.store(true, std::memory_order_release);
}

}  // namespace clipvane
