// Test videos in every container: written on the spot with FFmpeg's encoders and muxers
// (libx264, libx265, libvpx-vp9, mjpeg, mpeg2video, png, ... into MP4, MOV, Matroska, WebM,
// MPEG-TS), with B-frames, edit lists, variable frame rates, display rotation and non-square
// pixels as asked. The frames show their numbers as NumberFrame does, drawn so that a player
// shows them upright with square pixels.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/avi_fixtures.h"

namespace clipvane::fixtures {

struct TFixtureVideo {
  std::string Muxer = "mp4";                          // FFmpeg's muxer name: mp4, mov, matroska, webm, mpegts, ...
  std::string Encoder = "libx264";                    // FFmpeg's encoder name
  std::string PixelFormat = "yuv420p";                // what the encoder is given
  std::map<std::string, std::string> EncoderOptions;  // the encoder's own options (crf, x265-params, ...)
  int Width = 64;                                     // the coded picture
  int Height = 48;
  int FrameCount = 20;
  int RateNumerator = 25;  // frames per second, when StartsMs is empty
  int RateDenominator = 1;
  int KeyFrameInterval = 10;
  int BFrames = 0;
  // Each frame's start in milliseconds (a variable rate), and where the last one ends; empty:
  // the rate above.
  std::vector<int> StartsMs;
  // Frames encoded before frame 0 with negative timestamps; an MP4 edit list leaves them out.
  // They show numbers from 1000 on, which no test video has as a frame.
  int LeadingFrames = 0;
  // Degrees clockwise a player turns the coded picture (the stream's display matrix).
  int Rotation = 0;
  // The pixels' shape (sample aspect ratio): a player shows Width x this as the width.
  int AspectNumerator = 1;
  int AspectDenominator = 1;
  // Colour tags of the stream: FFmpeg's AVColorSpace (2: none), and full or limited range.
  // The encoder's input is made with the tagged matrix (UntaggedMatrix when none).
  int ColorSpace = 2;
  bool FullRange = false;
  // The matrix the encoder's input is made with when the stream is untagged (ColorSpace 2).
  int UntaggedMatrix = 5;  // BT.601 (5, FFmpeg's BT470BG) or BT.709 (1)
  TFixturePicture Picture = TFixturePicture::fpNumbers;
  // Adds a PCM audio stream (for muxers that take it).
  bool WithAudio = false;

  // The picture a player shows: the coded size with square pixels, turned.
  int DisplayWidth() const;
  int DisplayHeight() const;
};

// Writes the video; throws std::runtime_error when FFmpeg refuses.
void WriteFixtureVideo(const std::string& path, const TFixtureVideo& video);

// Frame `number` as a player must show it (24 bits, display size).
TBitmap ShownFrame(const TFixtureVideo& video, int number);

// A file with one PCM audio stream and no video (a WAV).
void WriteAudioOnlyFile(const std::string& path);
// A song with its cover picture: a Matroska audio file (.mka) with a PCM stream and a PNG
// cover attached, which the demuxer gives as a video stream of one picture.
void WriteSongWithCover(const std::string& path);

}  // namespace clipvane::fixtures
