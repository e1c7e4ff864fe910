// GIFs read back with giflib, an independent decoder: screen size, frames with their
// delays and pictures, and the looping blocks, for the GIF page's tests and the CLI's.
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace clipvane::giflib_check {

struct TGiflibFrame {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Delay = -1;                 // hundredths of a second; -1: no graphic control block
  int ColorCount = 0;             // entries of the frame's local table
  TBitmap Picture;                // 24 bits, the frame's colours
  int TransparentIndex = -1;      // -1: none
  std::vector<bool> Transparent;  // a pixel of the transparent index, row by row
};

struct TGiflibGif {
  bool Ok = false;
  int Error = 0;  // giflib's error code when not Ok
  int Width = 0;
  int Height = 0;
  std::vector<TGiflibFrame> Frames;
  int LoopBlocks = 0;       // NETSCAPE2.0 blocks, over all frames
  int LoopBlockFrame = -1;  // the frame the first one precedes
  int LoopCount = -1;       // its loop count
};

namespace detail {

struct TReader {
  const std::vector<std::uint8_t>* bytes;
  std::size_t position = 0;
};

inline int Read(GifFileType* file, GifByteType* buffer, int count) {
  auto* reader = static_cast<TReader*>(file->UserData);
  const std::size_t left = reader->bytes->size() - reader->position;
  const std::size_t n = std::min(left, static_cast<std::size_t>(count));
  std::memcpy(buffer, reader->bytes->data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

}  // namespace detail

inline TGiflibGif DecodeGif(const std::vector<std::uint8_t>& bytes) {
  TGiflibGif gif;
  detail::TReader reader{&bytes};
  GifFileType* file = DGifOpen(&reader, detail::Read, &gif.Error);
  if (file == nullptr) return gif;
  if (DGifSlurp(file) != GIF_OK) {
    gif.Error = file->Error;
    DGifCloseFile(file, nullptr);
    return gif;
  }
  gif.Width = file->SWidth;
  gif.Height = file->SHeight;
  for (int i = 0; i < file->ImageCount; ++i) {
    const SavedImage& image = file->SavedImages[i];
    TGiflibFrame frame;
    frame.Left = image.ImageDesc.Left;
    frame.Top = image.ImageDesc.Top;
    frame.Width = image.ImageDesc.Width;
    frame.Height = image.ImageDesc.Height;
    GraphicsControlBlock control;
    if (DGifSavedExtensionToGCB(file, i, &control) == GIF_OK) {
      frame.Delay = control.DelayTime;
      frame.TransparentIndex = control.TransparentColor;
    }
    const ColorMapObject* colors = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : file->SColorMap;
    frame.ColorCount = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap->ColorCount : 0;
    frame.Picture = TBitmap(frame.Width, frame.Height);
    frame.Transparent.assign(static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height), false);
    for (int y = 0; y < frame.Height; ++y) {
      std::uint8_t* row = frame.Picture.ScanLine(y);
      for (int x = 0; x < frame.Width; ++x) {
        const int index = image.RasterBits[static_cast<std::size_t>(y) * frame.Width + x];
        frame.Transparent[static_cast<std::size_t>(y) * frame.Width + x] = index == frame.TransparentIndex;
        if (colors == nullptr || index >= colors->ColorCount) continue;  // stays black
        const GifColorType& c = colors->Colors[index];
        row[3 * x] = c.Blue;
        row[3 * x + 1] = c.Green;
        row[3 * x + 2] = c.Red;
      }
    }
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function != APPLICATION_EXT_FUNC_CODE || block.ByteCount != 11 ||
          std::memcmp(block.Bytes, "NETSCAPE2.0", 11) != 0)
        continue;
      if (gif.LoopBlocks++ == 0) {
        gif.LoopBlockFrame = i;
        if (e + 1 < image.ExtensionBlockCount && image.ExtensionBlocks[e + 1].Function == CONTINUE_EXT_FUNC_CODE &&
            image.ExtensionBlocks[e + 1].ByteCount >= 3 && image.ExtensionBlocks[e + 1].Bytes[0] == 1)
          gif.LoopCount = image.ExtensionBlocks[e + 1].Bytes[1] | (image.ExtensionBlocks[e + 1].Bytes[2] << 8);
      }
    }
    gif.Frames.push_back(std::move(frame));
  }
  DGifCloseFile(file, nullptr);
  gif.Ok = true;
  return gif;
}

// What a viewer shows after each frame: the frames drawn one over another on the logical
// screen (black at first), transparent pixels leaving what was there (every frame here
// leaves itself in place).
inline std::vector<TBitmap> ComposedFrames(const TGiflibGif& gif) {
  std::vector<TBitmap> shown;
  TBitmap screen(gif.Width, gif.Height);
  for (const TGiflibFrame& frame : gif.Frames) {
    for (int y = 0; y < frame.Height; ++y)
      for (int x = 0; x < frame.Width; ++x)
        if (!frame.Transparent[static_cast<std::size_t>(y) * frame.Width + x])
          screen.SetPixel(frame.Left + x, frame.Top + y, frame.Picture.GetPixel(x, y));
    shown.push_back(screen);
  }
  return shown;
}

}  // namespace clipvane::giflib_check
