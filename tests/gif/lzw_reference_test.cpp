// The LZW encoder against a plain one written here from the rules, over the described
// string table (THashTable): the same image data bytes for every code size, odd sizes,
// interlaced frames, noise, runs and pictures whose strings grow long.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gif/gif_stream.h"
#include "gif/gif_types.h"
#include "gif/gif_writer.h"

namespace clipvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Image data of one frame: code size byte, codes in sub-blocks of at most 255 bytes, 0x00.
// With refuseAt, what the stream holds when the pixel at that place in the walk is refused:
// the code size byte and the sub-blocks filled before it.
Bytes PlainLzw(int bits, int width, int height, bool interlaced, const Bytes& pixels, std::size_t refuseAt = 0) {
  bits = std::max(bits, 2);
  const int clearCode = 1 << bits, endCode = clearCode + 1, firstFree = clearCode + 2;
  int codeWidth = bits + 1, highest = (1 << codeWidth) - 1, nextFree = firstFree;
  bool pending = false;
  std::uint32_t bucket = 0;
  int held = 0;
  Bytes data;
  const auto output = [&](int code) {
    bucket |= static_cast<std::uint32_t>(code) << held;
    held += codeWidth;
    for (; held >= 8; held -= 8, bucket >>= 8) data.push_back(static_cast<std::uint8_t>(bucket));
    if (nextFree > highest || pending) {
      if (pending) codeWidth = bits + 1, pending = false;
      else ++codeWidth;
      highest = codeWidth >= 12 ? 4096 : (1 << codeWidth) - 1;
    }
  };
  THashTable table;
  const auto clear = [&] {
    pending = true;
    output(clearCode);
    table.Clear();
    nextFree = firstFree;
  };
  std::vector<int> order;  // pixel indices in walk order
  const auto addRow = [&](int row) {
    for (int x = 0; x < width; ++x) order.push_back(row * width + x);
  };
  if (interlaced) ForEachInterlacedRow(height, addRow);
  else
    for (int row = 0; row < height; ++row) addRow(row);
  Bytes stream = {static_cast<std::uint8_t>(bits)};
  const auto cut = [&](bool partial) {
    for (std::size_t at = 0; at < data.size(); at += 255) {
      const std::size_t size = std::min<std::size_t>(255, data.size() - at);
      if (size < 255 && !partial) break;
      stream.push_back(static_cast<std::uint8_t>(size));
      stream.insert(stream.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
  };
  clear();
  int prefix = pixels[static_cast<std::size_t>(order[0])];
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (i == refuseAt) {
      cut(false);
      return stream;
    }
    const int pixel = pixels[static_cast<std::size_t>(order[i])];
    const std::uint32_t key = (static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(pixel);
    const int code = table.Lookup(key);
    if (code >= 0) {
      prefix = code;
      continue;
    }
    output(prefix);
    prefix = pixel;
    if (nextFree >= 4095 || !table.Insert(key, nextFree++)) clear();
  }
  output(prefix);
  output(endCode);
  if (held > 0) data.push_back(static_cast<std::uint8_t>(bucket));
  cut(true);
  stream.push_back(0);
  return stream;
}

TEST(LzwReference, SameBytesAsAPlainEncoderOverTheDescribedTable) {
  std::mt19937 random(11);
  struct Picture {
    const char* name;
    int width, height;
  };
  const Picture sizes[] = {{"one pixel", 1, 1}, {"a column", 1, 37}, {"three by three", 3, 3},
                           {"odd", 17, 13},     {"wide", 300, 41},   {"large", 211, 230}};
  for (int bits = 1; bits <= 8; ++bits) {
    const int colours = 1 << bits;
    for (const Picture& size : sizes) {
      const std::size_t count = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
      std::vector<Bytes> contents(3, Bytes(count));
      for (std::size_t i = 0; i < count; ++i) {
        contents[0][i] = static_cast<std::uint8_t>(random() % static_cast<unsigned>(colours));    // noise
        contents[1][i] = static_cast<std::uint8_t>((i / 9) % static_cast<std::size_t>(colours));  // runs
        // A few patterns repeated: strings grow long and the table fills with them.
        contents[2][i] = static_cast<std::uint8_t>((i % 97) * (i % 13 + 1) % static_cast<std::size_t>(colours));
      }
      for (std::size_t c = 0; c < contents.size(); ++c)
        for (const bool interlaced : {false, true}) {
          TGIFMemoryStream stream;
          TLZWEncoder().Compress(stream, bits, size.width, size.height, interlaced, contents[c].data(), colours);
          ASSERT_EQ(stream.Bytes(), PlainLzw(bits, size.width, size.height, interlaced, contents[c]))
              << size.name << ", " << bits << " bits, content " << c << (interlaced ? ", interlaced" : "");
        }
    }
  }
}

TEST(LzwReference, ARefusedPixelLeavesTheSubBlocksFilledBeforeIt) {
  // Noise, then a pixel outside the table at several places: the stream holds what the
  // codes before it filled of whole sub-blocks.
  std::mt19937 random(3);
  Bytes pixels(6000);
  for (auto& p : pixels) p = static_cast<std::uint8_t>(random() % 16);
  for (const std::size_t refused : {1u, 700u, 2001u, 5999u}) {
    Bytes refusing = pixels;
    refusing[refused] = 16;
    TGIFMemoryStream stream;
    EXPECT_THROW(TLZWEncoder().Compress(stream, 4, 6000, 1, false, refusing.data(), 16), GIFException);
    EXPECT_EQ(stream.Bytes(), PlainLzw(4, 6000, 1, false, refusing, refused)) << "refused at " << refused;
  }
}

}  // namespace
}  // namespace clipvane
