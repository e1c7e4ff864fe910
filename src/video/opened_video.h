// TOpenedVideo: a video file whose way of reading has been chosen, once, from what the file
// is: an AVI the AVI way (its own numbering, natural pixel formats and messages), any other
// container FFmpeg reads through its frame index. The probe, the runs' frame sources and the
// player all start here, so the choice is made in this one place. Private to the video layer.
#pragma once

#include <memory>
#include <string>

#include "video/frame_source.h"
#include "video/video_probe.h"

struct AVFormatContext;

namespace clipvane::video {

class TOpenedVideo {
 public:
  virtual ~TOpenedVideo() = default;
  virtual bool IsAvi() const = 0;
  // The frame size, count and length, as the media device reports them.
  virtual TVideoInfo Probe(const TOpenProgress& progress) = 0;
  // A reader of the frames, open; `hdr` says what becomes of HDR pictures (not of an AVI's).
  virtual std::unique_ptr<TFrameSource> Frames(TAviReaderSeam* seam, THdrMode hdr) = 0;
  // The same for the player, after Probe: its failures are worded as the media device's.
  virtual std::unique_ptr<TFrameSource> PlayerFrames() = 0;
};

// Chooses how the file is read. A file that reads as an AVI takes the AVI way; so does a file
// named *.avi that no demuxer reads with a video stream in it, so that it fails with the AVI's
// own messages. Any other file takes the container way, or throws EClipvaneError naming the
// file: "\"PATH\" is a folder", "PATH: not a video file this program can read", "PATH: the file is empty",
// "PATH: the file has no video stream", or "PATH: " and the system's text ("No such file or
// directory"). Only the local file of that name is read.
std::unique_ptr<TOpenedVideo> OpenVideo(const std::string& path);

// The two ways, for OpenVideo. The container way takes over `opened` (the file opened the
// container way, standing at its start) when given.
std::unique_ptr<TOpenedVideo> OpenAviVideo(const std::string& path);
std::unique_ptr<TOpenedVideo> OpenContainerVideo(const std::string& path, AVFormatContext* opened);

}  // namespace clipvane::video
