// "Save" of the GIF pages through a save dialog, the overwrite question and the atomic writer.
#include "ui/gif_save_form.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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
  bool written = false;
  RunHandler(parent, [&] {
    // The writer works on a copy: the shown document may be in the middle of its animation.
    TGIFImage copy;
    copy.Assign(document);
    copy.SaveToFile(path.toStdString());
    written = true;
  });
  return written;
}

void SetGifSaveDialog(std::function<QString(QWidget*, const QString&)> dialog) { SaveDialogSeam() = std::move(dialog); }

void SetGifOverwriteQuestion(std::function<bool(const QString&)> question) { OverwriteSeam() = std::move(question); }

}  // namespace clipvane
