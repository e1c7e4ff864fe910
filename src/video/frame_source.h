// TFrameSource: the numbered frames of a video as a run, the CLI and the player read them, and
// the one way to get one for a file. The runs know only this interface, so they never know
// which reader is behind it.
#pragma once

#include <memory>
#include <string>

#include "core/bitmap.h"

namespace clipvane {

class TAviReaderSeam;

// What becomes of the pictures of an HDR video (PQ or HLG transfer): made SDR as a screen
// shows them (BT.709, HDR's reference white at SDR white, highlights rolled off), or converted
// as if they were SDR, which shows their raw values. AVI videos are read the AVI way either way.
enum class THdrMode { hdrToSdr, hdrRaw };

// Where a run reads its frames: a video file's reader in the program, a fake in tests.
class TFrameSource {
 public:
  virtual ~TFrameSource() = default;
  // Throws EClipvaneError with the reader's message (and the file) when the video cannot be
  // opened.
  virtual void Open(const std::string& path) = 0;
  // False when no frame can be produced for that number (the run then ends quietly).
  virtual bool ReadFrame(int frameNumber) = 0;
  // The last frame read; valid until the next ReadFrame or Close.
  virtual const TBitmap& DecodeBitmap() const = 0;
  virtual void Close() = 0;
};

// Closes a source on every way out of a scope; a failing Close must not hide the error
// already travelling.
class TFrameSourceCloser {
 public:
  explicit TFrameSourceCloser(TFrameSource& source) : source_(source) {}
  ~TFrameSourceCloser() {
    try {
      source_.Close();
    } catch (...) {
    }
  }
  TFrameSourceCloser(const TFrameSourceCloser&) = delete;
  TFrameSourceCloser& operator=(const TFrameSourceCloser&) = delete;

 private:
  TFrameSource& source_;
};

// The reader of the video, open: how the file is read is chosen here, once, from what the
// file is (an AVI by TAviFrameReader, with its own numbering, pixel formats and messages; any
// other container FFmpeg reads by TContainerFrameReader). Only the local file of that name is
// ever read, whatever the name looks like. `seam`, when given, watches an AVI reader's steps
// and any reader's seeks and frame loads (tests); it must outlive the reader. Throws
// EClipvaneError naming the file.
std::unique_ptr<TFrameSource> OpenFrameSource(const std::string& path, TAviReaderSeam* seam = nullptr,
                                              THdrMode hdr = THdrMode::hdrToSdr);

// A run's frame source: it opens its video through OpenFrameSource when the run opens it.
std::unique_ptr<TFrameSource> MakeFrameSource();
// The same with `hdr` saying what becomes of an HDR video's pictures.
std::unique_ptr<TFrameSource> MakeFrameSourceFor(THdrMode hdr);

}  // namespace clipvane
