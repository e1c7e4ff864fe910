// "Save" of the GIF pages: the save dialog, the overwrite question and the GIF file written
// whole or not at all. The "AVI to animated GIF" page and the transition page share it.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace clipvane {

class TGIFImage;

// The dialog's default file name: the video's title (its file name without the folder and
// extension) with ".gif"; "Untitled.gif" without a video.
std::string GifDefaultFileName(const std::string& videoPath);

// Asks for a file name (the default name offered), asks before replacing an existing file and
// writes the document as a GIF file. Errors go to the error box. True when a file was written.
bool SaveGifDocument(QWidget* parent, const TGIFImage& document, const std::string& defaultName);

// Seams for tests. The save dialog returns the chosen path, empty when cancelled; the question
// returns true for "Yes". Empty functions restore the system dialogs.
void SetGifSaveDialog(std::function<QString(QWidget* parent, const QString& defaultName)> dialog);
void SetGifOverwriteQuestion(std::function<bool(const QString& question)> question);

}  // namespace clipvane
