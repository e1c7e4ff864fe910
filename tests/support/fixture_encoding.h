// What the fixture writers share: owners of FFmpeg's encoding objects, and the filling of an
// encoder's input frame from a picture.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <string>

#include "core/bitmap.h"

namespace clipvane::fixtures {

// A fixture writer's failure: std::runtime_error naming the step, with FFmpeg's text for a
// negative `code`. Check fails only on a negative code.
[[noreturn]] void Fail(const std::string& what, int code = 0);
void Check(int code, const std::string& what);

struct TFormatDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};
struct TCodecDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct TFrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct TPacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct TSwsHolder {
  SwsContext* context = nullptr;
  TSwsHolder() = default;
  TSwsHolder(const TSwsHolder&) = delete;
  TSwsHolder& operator=(const TSwsHolder&) = delete;
  ~TSwsHolder() { sws_freeContext(context); }
};

// Adds a mono 16-bit PCM audio stream of `sampleRate` samples a second (time base one
// sample); throws std::runtime_error when the muxer refuses.
AVStream* AddPcmStream(AVFormatContext* format, int sampleRate);

// Fills an encoder input frame (of the frame's format and size) from a picture: 8 bits with
// NumberPalette for PAL8, any other format from the picture's colours.
void FillFrame(const TBitmap& picture, AVFrame* frame, SwsContext*& sws);

}  // namespace clipvane::fixtures
