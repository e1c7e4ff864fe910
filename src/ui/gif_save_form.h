// "Save" of the GIF pages: the save dialog, the overwrite question and the GIF file written
// whole or not at all, on a thread of its own so that the window stays live. The "AVI to
// animated GIF" page and the transition page share it.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "gif/gif_image_saver.h"

class QWidget;

namespace clipvane {

class TGIFImage;

// The dialog's default file name: the video's title (its file name without the folder and
// extension) with ".gif"; "Untitled.gif" without a video.
std::string GifDefaultFileName(const std::string& videoPath);

// Asks for a file name (the default name offered), asks before replacing an existing file and
// starts writing a copy of the document as a GIF file on a thread of its own; returns at once.
// A save that takes longer than half a second shows its progress in a window of its own with
// "Cancel". The file appears only when complete; a save cancelled, or still running when the
// parent goes (the program quits), leaves no file behind and the target as it was. Errors go
// to the error box when the save ends. True when the save started.
bool SaveGifDocument(QWidget* parent, const TGIFImage& document, const std::string& defaultName);

// Saves started and not yet ended.
int RunningGifSaves();
// Processes window events until every save has ended; false when `timeoutMs` passed first.
bool WaitForGifSaves(int timeoutMs = 30000);

// Seams for tests. The save dialog returns the chosen path, empty when cancelled; the question
// returns true for "Yes". Empty functions restore the system dialogs.
void SetGifSaveDialog(std::function<QString(QWidget* parent, const QString& defaultName)> dialog);
void SetGifOverwriteQuestion(std::function<bool(const QString& question)> question);
// Runs on a save's thread before each of its writes, with the save (tests hold a save there
// until it is cancelled); empty: none.
void SetGifSaveWriteHook(TGIFBackgroundSave::TWriteHook hook);

}  // namespace clipvane
