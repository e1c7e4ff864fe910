// "Save" of the GIF pages through a save dialog, the overwrite question and the atomic writer
// on a thread of its own, watched from the window: progress after half a second, "Cancel",
// and the error box when the save ends.
#include "ui/gif_save_form.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <filesystem>
#include <utility>

#include "gif/gif_image.h"
#include "ui/error_box.h"

namespace clipvane {
namespace {

std::function<QString(QWidget*, const QString&)>& SaveDialogSeam() {
  static std::function<QString(QWidget*, const QString&)> seam;
  return seam;
}

std::function<bool(const QString&)>& OverwriteSeam() {
  static std::function<bool(const QString&)> seam;
  return seam;
}

QString AskFileName(QWidget* parent, const QString& defaultName) {
  if (SaveDialogSeam()) return SaveDialogSeam()(parent, defaultName);
  // The question before replacing a file is ours, so it is asked the same way with any dialog.
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save GIF"), defaultName,
                                      QStringLiteral("GIF files (*.gif);;All files (*)"), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

TGIFBackgroundSave::TWriteHook& WriteHookSeam() {
  static TGIFBackgroundSave::TWriteHook seam;
  return seam;
}

// UI thread only.
int runningSaves = 0;

// Shown once a save has taken this long.
constexpr int kProgressAfterMs = 500;
constexpr int kPollMs = 50;

// One save on its thread, watched by the window: a child of the page that asked for it, so
// that it is cancelled (and its file removed) when the page goes with the program.
class TGifSaveJob : public QObject {
 public:
  TGifSaveJob(QWidget* parent, std::unique_ptr<TGIFImage> copy, const QString& path)
      : QObject(parent), parent_(parent), save_(std::move(copy), path.toStdString(), WriteHookSeam()) {
    ++runningSaves;
    started_.start();
    timer_.setInterval(kPollMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }
  ~TGifSaveJob() override {
    delete progress_.data();
    Ended();
  }
  TGifSaveJob(const TGifSaveJob&) = delete;
  TGifSaveJob& operator=(const TGifSaveJob&) = delete;

 private:
  void Poll() {
    if (save_.Finished()) {
      timer_.stop();
      Ended();
      delete progress_.data();
      const std::exception_ptr error = save_.Error();
      const bool cancelled = save_.CancelRequested();
      QWidget* parent = parent_;
      deleteLater();
      // A save the user cancelled needs no box; any other failure does.
      if (error && !cancelled) RunHandler(parent, [&] { std::rethrow_exception(error); });
      return;
    }
    if (!progress_ && started_.elapsed() >= kProgressAfterMs) ShowProgress();
    if (progress_) progress_->setValue(save_.Percent());
  }

  void ShowProgress() {
    progress_ = new QProgressDialog(parent_);
    progress_->setWindowTitle(QString::fromUtf8(kApplicationTitle));
    progress_->setLabelText(
        QStringLiteral("Saving %1...").arg(QFileInfo(QString::fromStdString(save_.Path())).fileName()));
    progress_->setCancelButtonText(QStringLiteral("Cancel"));
    progress_->setRange(0, 100);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    // The window stays usable while the file is written.
    progress_->setWindowModality(Qt::NonModal);
    QObject::connect(progress_, &QProgressDialog::canceled, this, [this] { save_.Cancel(); });
    progress_->setValue(save_.Percent());
    progress_->show();
  }

  void Ended() {
    if (ended_) return;
    ended_ = true;
    --runningSaves;
  }

  QPointer<QWidget> parent_;
  bool ended_ = false;
  TGIFBackgroundSave save_;
  QTimer timer_;
  QElapsedTimer started_;
  QPointer<QProgressDialog> progress_;
};

bool AskOverwrite(QWidget* parent, const QString& question) {
  if (OverwriteSeam()) return OverwriteSeam()(question);
  return QMessageBox::question(parent, QString::fromUtf8(kApplicationTitle), question,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

std::string GifDefaultFileName(const std::string& videoPath) {
  const std::string stem = std::filesystem::path(videoPath).stem().string();
  return (stem.empty() ? std::string("Untitled") : stem) + ".gif";
}

bool SaveGifDocument(QWidget* parent, const TGIFImage& document, const std::string& defaultName) {
  // A GIF stream needs at least one frame; say so before the user picks a file.
  if (document.Empty()) {
    ShowErrorBox(parent, "The GIF has no frames to save");
    return false;
  }
  QString path = AskFileName(parent, QString::fromStdString(defaultName));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".gif");
  const QFileInfo target(path);
  if (target.isDir()) {
    ShowErrorBox(parent, "Cannot write " + path.toStdString() + ": it is a folder");
    return false;
  }
  if (target.exists() &&
      !AskOverwrite(parent, QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(target.fileName())))
    return false;
  bool started = false;
  RunHandler(parent, [&] {
    // The writer works on a copy: the shown document may be in the middle of its animation,
    // and the next run replaces it. The copy shares the frames' encoded data.
    auto copy = std::make_unique<TGIFImage>();
    copy->Assign(document);
    new TGifSaveJob(parent, std::move(copy), path);
    started = true;
  });
  return started;
}

int RunningGifSaves() { return runningSaves; }

bool WaitForGifSaves(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (runningSaves > 0) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, kPollMs);
  }
  return true;
}

void SetGifSaveWriteHook(TGIFBackgroundSave::TWriteHook hook) { WriteHookSeam() = std::move(hook); }

void SetGifSaveDialog(std::function<QString(QWidget*, const QString&)> dialog) { SaveDialogSeam() = std::move(dialog); }

void SetGifOverwriteQuestion(std::function<bool(const QString&)> question) { OverwriteSeam() = std::move(question); }

}  // namespace clipvane
