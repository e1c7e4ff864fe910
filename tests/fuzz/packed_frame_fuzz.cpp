// libFuzzer target: the frame reader's own part of every frame, on any bytes: the stream's
// colour table laid over the frame's, and the packed bitmap loaded through the decode stream,
// both copied into it and built in place. The first two bytes give the length of the stream
// format that follows; the rest is the packed frame. Only EClipvaneError may come out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "core/error.h"
#include "video/avi_frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  if (size < 2) return 0;
  const std::size_t formatBytes = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  const std::vector<std::uint8_t> streamFormat(data + 2, data + 2 + formatBytes);
  std::vector<std::uint8_t> frame(data + 2 + formatBytes, data + size);

  TDecodeStream stream;
  TBitmap bitmap;
  try {
    PackedFrameToBitmap(frame, streamFormat, stream, bitmap);
  } catch (const EClipvaneError&) {
  }
  // The reader's way: the frame built straight into the stream, its pixels on an aligned row.
  const std::size_t offset = frame.size() >= 40 ? std::min<std::size_t>(40 + (frame[32] % 8) * 4, frame.size()) : 0;
  const std::span<std::uint8_t> placed = stream.PrepareFrame(frame.size(), offset);
  if (!frame.empty()) std::memcpy(placed.data(), frame.data(), frame.size());
  try {
    PackedFrameToBitmap(placed, streamFormat, stream, bitmap);
  } catch (const EClipvaneError&) {
  }
  return 0;
}
