// The reader against damaged streams: every truncation of a valid animation and thousands of
// seeded random mutations end in a GIFException or warnings, never anything else.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum TOutcome { loaded, refused };

// Loads bytes; GIFException is an accepted outcome, any other exception fails the test.
TOutcome LoadAnything(const Bytes& bytes, int* frames = nullptr) {
  TGIFImage image;
  int warnings = 0;
  image.OnWarning = [&](TGIFPersistent*, int, const std::string&) { ++warnings; };
  TGIFSpanStream stream(bytes);
  try {
    image.LoadFromStream(stream);
  } catch (const GIFException&) {
    EXPECT_EQ(image.Images().Count(), 0);
    return refused;
  }
  if (frames != nullptr) *frames = image.Images().Count();
  // Whatever loaded must hold together: every frame's buffer matches its size.
  for (const auto& frame : image.Images())
    EXPECT_TRUE(frame->DataSize() == 0 || frame->DataSize() == static_cast<std::size_t>(frame->Width()) *
                                                                   static_cast<std::size_t>(frame->Height()));
  return loaded;
}

TEST(GifReaderMalformed, EveryTruncationOfAnAnimation) {
  for (TGIFEncoding encoding : {encLZW, encRLE}) {
    const Bytes whole = gif_test::SampleAnimation(encoding);
    int refusedCount = 0;
    int framesBefore = 0;
    for (std::size_t length = 0; length < whole.size(); ++length) {
      int frames = 0;
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      if (LoadAnything(cut, &frames) == refused) {
        ++refusedCount;
        continue;
      }
      // A longer piece never holds fewer frames.
      EXPECT_GE(frames, framesBefore) << length;
      framesBefore = frames;
    }
    // The header and the global table are needed; a cut later on keeps what came before.
    EXPECT_GT(refusedCount, 0);
    EXPECT_EQ(framesBefore, 3);
  }
}

Bytes Mutate(const Bytes& original, std::mt19937& random) {
  Bytes bytes = original;
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    const std::size_t at = random() % bytes.size();
    switch (random() % 6) {
      case 0:
        bytes[at] = static_cast<std::uint8_t>(random());
        break;
      case 1:
        bytes[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        break;
      case 2:
        bytes[at] = (random() % 2) ? 0xFF : 0x00;
        break;
      case 3:
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      case 4:
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random()));
        break;
      default:
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

TEST(GifReaderMalformed, SeededRandomMutations) {
  const Bytes lzw = gif_test::SampleAnimation(encLZW);
  const Bytes rle = gif_test::SampleAnimation(encRLE);
  std::mt19937 random(20240611);
  int loadedCount = 0;
  int refusedCount = 0;
  for (int i = 0; i < 3000; ++i) {
    const Bytes bytes = Mutate(i % 2 == 0 ? lzw : rle, random);
    (LoadAnything(bytes) == loaded ? loadedCount : refusedCount)++;
  }
  // Both outcomes occur; neither a crash nor another kind of error did.
  EXPECT_GT(loadedCount, 0);
  EXPECT_GT(refusedCount, 0);
}

TEST(GifReaderMalformed, HeaderMutationsOfScreenAndTableSizes) {
  // Every value of the packed byte of the screen and of the first frame's descriptor.
  const Bytes whole = gif_test::SampleAnimation();
  for (int value = 0; value < 256; ++value) {
    Bytes screen = whole;
    screen[10] = static_cast<std::uint8_t>(value);
    LoadAnything(screen);
  }
  const std::size_t descriptor = gif_test::ImageDataOffset(whole) - 768 - 10;
  ASSERT_EQ(whole[descriptor], 0x2C);
  for (int value = 0; value < 256; ++value) {
    Bytes frame = whole;
    frame[descriptor + 9] = static_cast<std::uint8_t>(value);
    frame[descriptor + 5] = static_cast<std::uint8_t>(value);
    frame[descriptor + 6] = static_cast<std::uint8_t>(255 - value);
    LoadAnything(frame);
  }
}

TEST(GifReaderMalformed, LongRunsOfCodesThatBuildDeepStrings) {
  // Image data of ever-longer strings up to a full table, without clears, for a frame far
  // smaller than the strings: decoding must stop at the frame's end.
  Bytes data = {2};
  Bytes packed;
  std::uint32_t bucket = 0;
  int held = 0;
  int width = 3;
  int nextFree = 6;
  auto put = [&](int code) {
    bucket |= static_cast<std::uint32_t>(code) << held;
    held += width;
    while (held >= 8) {
      packed.push_back(static_cast<std::uint8_t>(bucket));
      bucket >>= 8;
      held -= 8;
    }
  };
  put(4);
  put(1);
  for (int code = 6; code < 4096; ++code) {
    put(code);  // always the entry being made: strings of 2, 3, 4, ... pixels
    if (nextFree < 4096) ++nextFree;
    if (nextFree == (1 << width) && width < 12) ++width;
  }
  if (held > 0) packed.push_back(static_cast<std::uint8_t>(bucket));
  for (std::size_t at = 0; at < packed.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
    data.push_back(static_cast<std::uint8_t>(n));
    data.insert(data.end(), packed.begin() + static_cast<std::ptrdiff_t>(at),
                packed.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  data.push_back(0);
  for (int side : {3, 100, 3000}) {
    Bytes bytes = {'G',
                   'I',
                   'F',
                   '8',
                   '9',
                   'a',
                   static_cast<std::uint8_t>(side),
                   static_cast<std::uint8_t>(side >> 8),
                   1,
                   0,
                   0x81,
                   0,
                   0,
                   0,
                   0,
                   0,
                   0xFF,
                   0xFF,
                   0xFF,
                   0,
                   0,
                   0,
                   0,
                   0,
                   0};
    const Bytes descriptor = {0x2C, 0, 0, 0, 0, static_cast<std::uint8_t>(side), static_cast<std::uint8_t>(side >> 8),
                              1,    0, 0};
    bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(0x3B);
    TGIFImage image;
    TGIFSpanStream stream(bytes);
    image.LoadFromStream(stream);
    const TGIFSubImage& frame = *image.Images()[0];
    EXPECT_TRUE(std::all_of(frame.Data(), frame.Data() + frame.DataSize(), [](std::uint8_t p) { return p == 1; }))
        << side;
  }
}

}  // namespace
}  // namespace clipvane
