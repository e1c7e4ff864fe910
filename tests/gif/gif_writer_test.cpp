// The GIF stream writer: byte-exact blocks, sub-block cutting, LZW code widths and clears,
// interlaced row order, the run-length encoder, saving to files; giflib decodes every GIF.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif/gif_writer.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using gif_test::AddIndexedFrame;
using gif_test::AddLoop;
using gif_test::DistinctPalette;
using gif_test::ExpectGiflibAgrees;
using gif_test::IndexedBitmap;
using gif_test::NoiseIndices;
using gif_test::ReadCodes;
using gif_test::SaveToBytes;

using Bytes = std::vector<std::uint8_t>;

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes ExtensionBytes(const TGIFExtension& extension) {
  TGIFMemoryStream stream;
  extension.SaveToStream(stream);
  return stream.TakeBytes();
}

Bytes Compressed(TGIFEncoder&& encoder, int bits, int width, int height, bool interlaced, const Bytes& pixels,
                 int limit) {
  TGIFMemoryStream stream;
  encoder.Compress(stream, bits, width, height, interlaced, pixels.data(), limit);
  return stream.TakeBytes();
}

// A document as the pages build it: 320 x 240, 256-colour local tables, looping block on
// frame 0, a delay of 10 on every frame.
TGIFImage& PagesDocument(TGIFImage& image) {
  for (int i = 0; i < 2; ++i) {
    image.AddFrame(
        IndexedBitmap(320, 240, DistinctPalette(256), NoiseIndices(320 * 240, 256, static_cast<std::uint32_t>(i))));
    TGIFSubImage* frame = image.Images()[i];
    if (i == 0) {
      frame->Extensions().Add(std::make_unique<TGIFAppExtNSLoop>(frame));
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
    control->SetDelay(10);
    frame->Extensions().Add(std::move(control));
  }
  return image;
}

TEST(GifStreamLayout, PagesDocumentHeaderDescriptorAndTable) {
  TGIFImage image;
  const Bytes bytes = SaveToBytes(PagesDocument(image));
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(Slice(bytes, 6, 7), (Bytes{0x40, 0x01, 0xF0, 0x00, 0x77, 0x00, 0x00}));
  std::size_t at = 13;
  Bytes loop = {0x21, 0xFF, 0x0B};
  for (char c : std::string("NETSCAPE2.0")) loop.push_back(static_cast<std::uint8_t>(c));
  loop.insert(loop.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
  EXPECT_EQ(Slice(bytes, at, 19), loop);
  at += 19;
  EXPECT_EQ(Slice(bytes, at, 8), (Bytes{0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00}));
  at += 8;
  EXPECT_EQ(Slice(bytes, at, 10), (Bytes{0x2C, 0, 0, 0, 0, 0x40, 0x01, 0xF0, 0x00, 0x87}));
  at += 10;
  const auto palette = DistinctPalette(256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(bytes[at + 3 * i], palette[static_cast<std::size_t>(i)].Red);
    ASSERT_EQ(bytes[at + 3 * i + 2], palette[static_cast<std::size_t>(i)].Blue);
  }
  at += 768;
  EXPECT_EQ(bytes[at], 8);  // initial code size
  const std::vector<int> codes = ReadCodes(bytes.data() + at, bytes.size() - at);
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), 256);  // every frame starts with a clear code, 9 bits wide
  EXPECT_EQ(bytes[at + 2], 0x00);
  EXPECT_EQ(bytes[at + 3] & 1, 1);
  EXPECT_EQ(bytes.back(), 0x3B);
  ExpectGiflibAgrees(image, bytes);
}

TEST(GifStreamLayout, TwoColourTableUsesCodeSizeTwoAndSizeFieldZero) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(7, 3, DistinctPalette(2), NoiseIndices(21, 2, 9)));
  const Bytes bytes = SaveToBytes(image);
  EXPECT_EQ(bytes[13 + 9], 0x80);
  EXPECT_EQ(bytes[13 + 10 + 6], 2);
  EXPECT_EQ(bytes[10], 0x00);  // screen: resolution 0, size 0, no global table
  ExpectGiflibAgrees(image, bytes);
}

TEST(GifStreamLayout, ThreeEntryTableIsPaddedToFour) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(3, 1, DistinctPalette(3), {0, 1, 2}));
  const Bytes bytes = SaveToBytes(image);
  EXPECT_EQ(bytes[13 + 9], 0x81);
  EXPECT_EQ(Slice(bytes, 13 + 10 + 9, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(bytes[13 + 10 + 12], 2);
}

TEST(GifStreamLayout, GlobalTableCoversTheScreenSizeField) {
  // A 4-entry global table beside a 256-entry local one: the screen's size field says 256,
  // so 256 global entries are written for decoders to read.
  TGIFImage image;
  image.GlobalColorMap().ImportDIBColors(DistinctPalette(4));
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 4, 1);
  for (int x = 0; x < 4; ++x) frame->SetPixel(x, 0, static_cast<std::uint8_t>(x));
  image.AddFrame(std::move(frame));
  image.AddFrame(IndexedBitmap(4, 1, DistinctPalette(256), {0, 100, 200, 255}));
  const Bytes bytes = SaveToBytes(image);
  EXPECT_EQ(bytes[10], 0xF7);
  EXPECT_EQ(bytes[13 + 768], 0x2C);
  ExpectGiflibAgrees(image, bytes);
}

TEST(GifExtensionBlocks, LoopingBlockIs19Bytes) {
  TGIFSubImage frame(nullptr);
  TGIFAppExtNSLoop loop(&frame);
  Bytes expected = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                    'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(ExtensionBytes(loop), expected);
  loop.LoopCount = 0x0102;
  loop.BufferSize = 0x0A0B0C0D;
  expected = {0x21, 0xFF, 0x0B, 'N',  'E',  'T',  'S',  'C',  'A',  'P',  'E',  '2', '.',
              '0',  0x03, 0x01, 0x02, 0x01, 0x05, 0x02, 0x0D, 0x0C, 0x0B, 0x0A, 0x00};
  EXPECT_EQ(ExtensionBytes(loop), expected);
}

TEST(GifExtensionBlocks, GraphicControlWithDelayTen) {
  TGIFSubImage frame(nullptr);
  TGIFGraphicControlExtension control(&frame);
  control.SetDelay(10);
  EXPECT_EQ(ExtensionBytes(control), (Bytes{0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00}));
  control.SetDisposal(dmPrevious);
  control.SetTransparent(true);
  control.SetTransparentColorIndex(7);
  EXPECT_EQ(ExtensionBytes(control), (Bytes{0x21, 0xF9, 0x04, 0x0D, 0x0A, 0x00, 0x07, 0x00}));
}

TEST(GifExtensionBlocks, TextLinesAreCutInto255ByteSubBlocks) {
  TGIFSubImage frame(nullptr);
  TGIFCommentExtension comment(&frame);
  comment.Text = {"ab", "", std::string(300, 'z')};
  const Bytes bytes = ExtensionBytes(comment);
  ASSERT_EQ(bytes.size(), 2u + 3u + 256u + 46u + 1u);
  EXPECT_EQ(Slice(bytes, 0, 5), (Bytes{0x21, 0xFE, 2, 'a', 'b'}));
  EXPECT_EQ(bytes[5], 255);
  EXPECT_EQ(bytes[261], 45);
  EXPECT_EQ(bytes.back(), 0);

  TGIFTextExtension text(&frame);
  text.Left = 0x0102;
  text.CellWidth = 8;
  text.TextBGColorIndex = 3;
  text.Text = {"hi"};
  EXPECT_EQ(ExtensionBytes(text), (Bytes{0x21, 0x01, 0x0C, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 8, 0, 0, 3, 2, 'h', 'i', 0}));
}

TEST(GifExtensionBlocks, UnknownApplicationDataIsWrittenBack) {
  TGIFSubImage frame(nullptr);
  TGIFUnknownAppExtension unknown(&frame);
  const char id[] = "ABCDEFGH123";
  std::copy(id, id + 11, unknown.Identifier.begin());
  unknown.Blocks = {{{7, 8}}, {{9}}};
  Bytes expected = {0x21, 0xFF, 0x0B};
  expected.insert(expected.end(), id, id + 11);
  expected.insert(expected.end(), {2, 7, 8, 1, 9, 0});
  EXPECT_EQ(ExtensionBytes(unknown), expected);
}

TEST(LzwEncoder, OnePixelOfColourZero) {
  EXPECT_EQ(Compressed(TLZWEncoder(), 8, 1, 1, false, {0}, 256), (Bytes{0x08, 0x04, 0x00, 0x01, 0x04, 0x04, 0x00}));
}

TEST(LzwEncoder, NoPixelsWritesOnlyTheEndCode) {
  TGIFMemoryStream stream;
  TLZWEncoder encoder;
  encoder.Compress(stream, 1, 0, 0, false, nullptr, 2);
  // Code size 2, end code 5 in 3 bits.
  EXPECT_EQ(stream.Bytes(), (Bytes{0x02, 0x01, 0x05, 0x00}));
}

TEST(LzwEncoder, PixelOutsideTheTableIsRefused) {
  TGIFMemoryStream stream;
  TLZWEncoder encoder;
  const Bytes pixels = {0, 1, 4, 2};
  try {
    encoder.Compress(stream, 2, 4, 1, false, pixels.data(), 4);
    FAIL() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Color not in color table");
  }
  TGIFImage image;
  image.AddFrame(IndexedBitmap(2, 1, DistinctPalette(3), {0, 2}));
  image.Images()[0]->SetPixel(1, 0, 3);
  EXPECT_THROW(SaveToBytes(image), GIFException);
}

TEST(LzwEncoder, ClearsWhenTheNextStringWouldNeedCode4095) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(100, 100, DistinctPalette(256), NoiseIndices(100 * 100, 256, 5)));
  const Bytes bytes = SaveToBytes(image);
  const std::size_t at = gif_test::ImageDataOffset(bytes);
  const std::vector<int> codes = ReadCodes(bytes.data() + at, bytes.size() - at);
  std::vector<std::size_t> clears;
  for (std::size_t i = 0; i < codes.size(); ++i)
    if (codes[i] == 256) clears.push_back(i);
  ASSERT_GE(clears.size(), 3u);
  EXPECT_EQ(clears[0], 0u);
  // 4094 - 257 strings added, one code for each, then the code whose string found no room.
  EXPECT_EQ(clears[1] - clears[0] - 1, 4094u - 257u + 1u);
  EXPECT_EQ(clears[2] - clears[1] - 1, 4094u - 257u + 1u);
  EXPECT_EQ(codes.back(), 257);
  ExpectGiflibAgrees(image, bytes);
}

TEST(LzwEncoder, CompressesRepetitionAndDecodesForEveryCodeSize) {
  for (int colours : {2, 3, 4, 5, 8, 16, 17, 64, 128, 200, 256}) {
    TGIFImage image;
    std::vector<std::uint8_t> pixels(64 * 48);
    for (std::size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = static_cast<std::uint8_t>((i / 5 + i % 7) % static_cast<std::size_t>(colours));
    AddIndexedFrame(image, 64, 48, DistinctPalette(colours), pixels, 5);
    AddIndexedFrame(image, 64, 48, DistinctPalette(colours),
                    NoiseIndices(64 * 48, colours, static_cast<std::uint32_t>(colours)), 5);
    SCOPED_TRACE(colours);
    ExpectGiflibAgrees(image, SaveToBytes(image));
  }
}

TEST(LzwEncoder, InterlacedHeightThreeWritesRows0Then2Then1) {
  TGIFImage image;
  image.GlobalColorMap().ImportDIBColors(DistinctPalette(4));
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) frame->SetPixel(x, y, static_cast<std::uint8_t>(y + 1));
  frame->SetInterlaced(true);
  image.AddFrame(std::move(frame));
  Bytes bytes = SaveToBytes(image);
  ExpectGiflibAgrees(image, bytes);

  // Read as a plain frame, the rows come out in the order they were written.
  const std::size_t descriptor = 13 + 12;
  ASSERT_EQ(bytes[descriptor], 0x2C);
  EXPECT_EQ(bytes[descriptor + 9], 0x40);
  bytes[descriptor + 9] = 0;
  gif_test::TDecodedGif decoded;
  int error = 0;
  ASSERT_TRUE(gif_test::DecodeWithGiflib(bytes, decoded, error));
  const Bytes expected = {1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2};
  EXPECT_EQ(decoded.Frames[0].Pixels, expected);
}

TEST(LzwEncoder, InterlacedFramesOfEveryHeightDecode) {
  for (int height = 1; height <= 19; ++height) {
    TGIFImage image;
    image.GlobalColorMap().ImportDIBColors(DistinctPalette(8));
    auto frame = std::make_unique<TGIFSubImage>(&image);
    frame->SetBounds(0, 0, 6, height);
    const auto noise = NoiseIndices(static_cast<std::size_t>(6 * height), 8, static_cast<std::uint32_t>(height));
    std::copy(noise.begin(), noise.end(), frame->Data());
    frame->SetInterlaced(true);
    image.AddFrame(std::move(frame));
    SCOPED_TRACE(height);
    ExpectGiflibAgrees(image, SaveToBytes(image));
  }
}

TEST(LzwEncoder, FrameWithLocalTableIsWrittenNonInterlaced) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(4, 4, DistinctPalette(4), NoiseIndices(16, 4, 1)));
  image.Images()[0]->SetInterlaced(true);
  const Bytes bytes = SaveToBytes(image);
  EXPECT_EQ(bytes[13 + 9], 0x81);
  ExpectGiflibAgrees(image, bytes);
}

// The slot a key starts its probe at, as an empty table tells it.
int HomeSlot(std::uint32_t key) {
  static const THashTable empty;
  int slot = -1;
  EXPECT_EQ(empty.Lookup(key, &slot), -1);
  return slot;
}

struct TTableFilling {
  Bytes Pixels;
  int Stored = 0;             // strings stored before the described table refused one
  int StoredInHalfOfOne = 0;  // of them, those whose probe starts in the half of slot 1 (not at 0)
  int StoredAtZero = 0;       // those whose probe starts at slot 0
};

// The slots doubling runs through from slot 1: one half of the table, 8008 among them.
const std::vector<bool>& HalfOfOne() {
  static const std::vector<bool> half = [] {
    std::vector<bool> in(THashTable::Size, false);
    for (int slot = 1; !in[static_cast<std::size_t>(slot)]; slot = THashTable::NextSlot(slot))
      in[static_cast<std::size_t>(slot)] = true;
    return in;
  }();
  return half;
}

// Builds pixels of 4 colours that extend the strings known so far by the new string whose
// probe start `rank(slot, filling)` ranks first (0 best), until the described table
// (THashTable, which tells here when a string finds no room) refuses one.
template <class Rank>
TTableFilling FillTheTable(Rank rank) {
  THashTable table;
  std::vector<std::int16_t> strings(1u << 20, -1);  // key -> code
  int nextFree = 6;
  TTableFilling filling;
  filling.Pixels = {0};
  int prefix = 0;
  while (true) {
    // Breadth-first through known strings from the current prefix to the best new extension.
    struct TNode {
      int Code;
      int Parent;
      std::uint8_t Pixel;
    };
    std::vector<TNode> nodes = {{prefix, -1, 0}};
    int chosen = -1, chosenPixel = 0, chosenRank = 1 << 30;
    for (std::size_t n = 0; n < nodes.size() && chosenRank > 0; ++n) {
      for (int q = 0; q < 4 && chosenRank > 0; ++q) {
        const std::uint32_t key = (static_cast<std::uint32_t>(nodes[n].Code) << 8) | static_cast<std::uint32_t>(q);
        if (strings[key] >= 0) {
          nodes.push_back({strings[key], static_cast<int>(n), static_cast<std::uint8_t>(q)});
        } else if (const int r = rank(HomeSlot(key), filling); r < chosenRank) {
          chosen = static_cast<int>(n), chosenPixel = q, chosenRank = r;
        }
      }
    }
    Bytes path;
    for (int at = chosen; nodes[static_cast<std::size_t>(at)].Parent >= 0;
         at = nodes[static_cast<std::size_t>(at)].Parent)
      path.push_back(nodes[static_cast<std::size_t>(at)].Pixel);
    filling.Pixels.insert(filling.Pixels.end(), path.rbegin(), path.rend());
    filling.Pixels.push_back(static_cast<std::uint8_t>(chosenPixel));
    const std::uint32_t key = (static_cast<std::uint32_t>(nodes[static_cast<std::size_t>(chosen)].Code) << 8) |
                              static_cast<std::uint32_t>(chosenPixel);
    // The string that finds no room is not stored: the encoder starts a new table.
    if (!table.Insert(key, nextFree)) break;
    strings[key] = static_cast<std::int16_t>(nextFree++);
    const int home = HomeSlot(key);
    if (home == 0) ++filling.StoredAtZero;
    else if (HalfOfOne()[static_cast<std::size_t>(home)]) ++filling.StoredInHalfOfOne;
    prefix = chosenPixel;
  }
  filling.Stored = nextFree - 6;
  return filling;
}

TEST(LzwEncoder, FullProbeSequenceClearsInsteadOfLooping) {
  const auto inHalfOfOne = [](int slot) { return slot != 0 && HalfOfOne()[static_cast<std::size_t>(slot)]; };
  constexpr int kHalf = (THashTable::Size - 1) / 2;
  struct Case {
    const char* name;
    std::function<int(int, const TTableFilling&)> rank;
    int atZero;  // strings stored that start their probe at slot 0 (-1: any number)
  };
  const Case cases[] = {
      {"the half of slot 1", [&](int slot, const TTableFilling&) { return inHalfOfOne(slot) ? 0 : 1; }, -1},
      {"the other half", [&](int slot, const TTableFilling&) { return slot != 0 && !inHalfOfOne(slot) ? 0 : 1; }, -1},
      {"slot 0 and the half it leads into",
       [&](int slot, const TTableFilling&) { return slot == 0 || inHalfOfOne(slot) ? 0 : 1; }, -1},
      // Slot 0 still free when the half is full: it takes one more string.
      {"slot 0 last",
       [&](int slot, const TTableFilling& filling) {
         if (filling.StoredInHalfOfOne < kHalf) return inHalfOfOne(slot) ? 0 : (slot == 0 ? 2 : 1);
         return slot == 0 ? 0 : (inHalfOfOne(slot) ? 2 : 1);
       },
       1},
  };
  for (const Case& c : cases) {
    TTableFilling filling = FillTheTable(c.rank);
    // The table gave up before the 4095 rule could clear it.
    ASSERT_LT(filling.Stored, 4094 - 5) << c.name;
    if (c.atZero >= 0) {
      ASSERT_EQ(filling.StoredAtZero, c.atZero) << c.name;
    }
    Bytes& pixels = filling.Pixels;
    for (int i = 0; i < 40; ++i) pixels.push_back(static_cast<std::uint8_t>(i % 4));
    const int width = 256;
    const int height = static_cast<int>((pixels.size() + width - 1) / width);
    pixels.resize(static_cast<std::size_t>(width * height), 0);

    TGIFImage image;
    image.AddFrame(IndexedBitmap(width, height, DistinctPalette(4), pixels));
    const Bytes bytes = SaveToBytes(image);
    const std::size_t at = gif_test::ImageDataOffset(bytes);
    const std::vector<int> codes = ReadCodes(bytes.data() + at, bytes.size() - at);
    std::vector<std::size_t> clears;
    for (std::size_t i = 0; i < codes.size(); ++i)
      if (codes[i] == 4) clears.push_back(i);
    ASSERT_GE(clears.size(), 2u) << c.name;
    EXPECT_EQ(clears[1] - clears[0] - 1, static_cast<std::size_t>(filling.Stored) + 1) << c.name;
    ExpectGiflibAgrees(image, bytes);
  }
}

TEST(LzwHashTable, KeysThatShareASlotAreAllFound) {
  // Every 20-bit key that starts at the same slot as key 0x12345.
  const int home = HomeSlot(0x12345);
  std::vector<std::uint32_t> sharing;
  for (std::uint32_t key = 0; key < (1u << 20) && sharing.size() < 40; ++key)
    if (HomeSlot(key) == home) sharing.push_back(key);
  ASSERT_EQ(sharing.size(), 40u);

  THashTable table;
  std::set<int> slots;
  for (std::size_t i = 0; i < sharing.size(); ++i) {
    int slot = -1;
    ASSERT_EQ(table.Lookup(sharing[i], &slot), -1);
    EXPECT_TRUE(slots.insert(slot).second) << "slot " << slot << " handed out twice";
    ASSERT_TRUE(table.Insert(sharing[i], static_cast<int>(100 + i)));
  }
  for (std::size_t i = 0; i < sharing.size(); ++i) EXPECT_EQ(table.Lookup(sharing[i]), static_cast<int>(100 + i)) << i;
  // A key stored again keeps its first code; keys never stored are absent.
  EXPECT_TRUE(table.Insert(sharing[5], 7));
  EXPECT_EQ(table.Lookup(sharing[5]), 105);
  for (std::uint32_t key : {0u, 1u, 0xFFFFEu}) {
    if (std::find(sharing.begin(), sharing.end(), key) == sharing.end()) {
      EXPECT_EQ(table.Lookup(key), -1) << key;
    }
  }
  table.Clear();
  for (std::uint32_t key : sharing) EXPECT_EQ(table.Lookup(key), -1);
}

// The slots key's probe runs through, in order, as the table hands them out when each one
// is taken in turn by another key.
std::vector<int> ProbeSequence(std::uint32_t key) {
  THashTable table;
  std::vector<int> slots;
  int slot = -1;
  while (table.Lookup(key, &slot) == -1 && slot >= 0) {
    slots.push_back(slot);
    table.StoreAt(slot, key ^ 1, 0);
  }
  return slots;
}

TEST(LzwHashTable, KeysThatDifferOnlyInTheirHighestBitsAreToldApart) {
  // The key of a long string (a prefix code of 256 or more) whose probe passes the slot of
  // a key that differs from it only in the top four bits.
  const std::uint32_t low = 0x0ABCD;
  std::uint32_t high = 0;
  for (std::uint32_t top = 1; top < 16 && high == 0; ++top) {
    const std::vector<int> sequence = ProbeSequence(low | (top << 16));
    if (std::find(sequence.begin(), sequence.end(), HomeSlot(low)) != sequence.end()) high = low | (top << 16);
  }
  ASSERT_NE(high, 0u);
  THashTable table;
  ASSERT_TRUE(table.Insert(low, 1));
  // Every other slot of the long key's sequence taken, so its lookups pass the short key's.
  int slot = -1;
  for (int taken = 0; taken < THashTable::Size; ++taken) {
    ASSERT_EQ(table.Lookup(high, &slot), -1) << "after " << taken << " slots taken";
    if (slot < 0) break;
    table.StoreAt(slot, low ^ 1, 7);
  }
  EXPECT_EQ(slot, -1);
  EXPECT_EQ(table.Lookup(low), 1);
}

TEST(LzwHashTable, AFullProbeSequenceRefusesItsKeysAndLookupsEnd) {
  // Keys grouped by the slot they start at.
  std::map<int, std::vector<std::uint32_t>> byHome;
  for (std::uint32_t key = 0; key < (1u << 20); ++key) byHome[HomeSlot(key)].push_back(key);

  // Fill one probe sequence, following it as the table reports it: each key goes to the
  // first free slot of its sequence, and keys starting at the newest taken slot continue
  // the sequence once the keys of the first slot run out.
  THashTable table;
  int from = HomeSlot(0x12345);
  ASSERT_NE(from, 0);
  std::set<int> taken;
  std::vector<std::pair<std::uint32_t, int>> stored;
  std::size_t next = 0;
  std::uint32_t refusedKey = 0;
  bool refused = false;
  int newest = from;
  while (!refused) {
    const auto& keys = byHome[from];
    if (next == keys.size()) {
      ASSERT_NE(from, newest) << "no key left to follow the sequence";
      from = newest;
      next = 0;
      continue;
    }
    const std::uint32_t key = keys[next++];
    int slot = -1;
    if (table.Lookup(key, &slot) >= 0) continue;  // stored while following an earlier slot
    if (slot < 0) {
      refusedKey = key;
      refused = true;
      break;
    }
    ASSERT_TRUE(taken.insert(slot).second) << "slot " << slot << " handed out twice";
    const int code = static_cast<int>(stored.size() & 0xFFF);
    ASSERT_TRUE(table.Insert(key, code));
    stored.emplace_back(key, code);
    newest = slot;
  }
  // Doubling modulo the prime 8009 runs through half of the 8008 slots other than 0.
  EXPECT_EQ(stored.size(), 4004u);
  EXPECT_FALSE(table.Insert(refusedKey, 1));
  int slot = 0;
  EXPECT_EQ(table.Lookup(refusedKey, &slot), -1);
  EXPECT_EQ(slot, -1);
  for (const auto& [key, code] : stored) ASSERT_EQ(table.Lookup(key), code) << key;
  // The other half of the table still takes keys.
  const auto other = std::find_if(byHome.begin(), byHome.end(),
                                  [&](const auto& entry) { return entry.first != 0 && !taken.count(entry.first); });
  ASSERT_NE(other, byHome.end());
  EXPECT_TRUE(table.Insert(other->second.front(), 9));
  EXPECT_EQ(table.Lookup(other->second.front()), 9);
}

TEST(SubBlockWriter, CutsAt255Bytes) {
  for (std::size_t count : {std::size_t{1}, std::size_t{255}, std::size_t{256}, std::size_t{600}}) {
    const Bytes data = NoiseIndices(count, 256, 1);
    Bytes expected;
    for (std::size_t at = 0; at < count; at += 255) {
      const std::size_t n = std::min<std::size_t>(255, count - at);
      expected.push_back(static_cast<std::uint8_t>(n));
      expected.insert(expected.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                      data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    // Part written at once and the rest byte by byte, then all of it at once.
    TGIFMemoryStream mixed;
    TGIFWriter writer(mixed);
    writer.Write(data.data(), 100 < count ? 100 : count);
    for (std::size_t i = 100; i < count; ++i) writer.Put(data[i]);
    writer.Close();
    EXPECT_EQ(mixed.Bytes(), expected) << count;
    TGIFMemoryStream whole;
    TGIFWriter once(whole);
    once.Write(data.data(), count);
    once.Close();
    EXPECT_EQ(whole.Bytes(), expected) << count;
  }
}

TEST(SubBlockWriter, CompressedDataOf255And256Bytes) {
  // 8-bit noise without repeats compresses to 9-bit codes: find frame sizes whose data
  // comes to exactly 255 and 256 bytes and check the sub-blocks.
  bool seen255 = false;
  bool seen256 = false;
  for (int pixels = 200; pixels < 240 && !(seen255 && seen256); ++pixels) {
    Bytes indices(static_cast<std::size_t>(pixels));
    for (int i = 0; i < pixels; ++i) indices[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    const Bytes data = Compressed(TLZWEncoder(), 8, pixels, 1, false, indices, 256);
    // Code size, then one or two sub-blocks, then the terminator.
    const std::size_t compressed = data.size() - 3 - (data.size() > 258 ? 1 : 0);
    if (compressed == 255) {
      seen255 = true;
      EXPECT_EQ(data.size(), 1u + 1u + 255u + 1u);
      EXPECT_EQ(data[1], 255);
      EXPECT_EQ(data.back(), 0);
    } else if (compressed == 256) {
      seen256 = true;
      EXPECT_EQ(data.size(), 1u + 256u + 2u + 1u);
      EXPECT_EQ(data[1], 255);
      EXPECT_EQ(data[257], 1);
      EXPECT_EQ(data.back(), 0);
    }
  }
  EXPECT_TRUE(seen255);
  EXPECT_TRUE(seen256);
}

TEST(SubBlockWriter, RefusesReadingAndSeeking) {
  TGIFMemoryStream target;
  TGIFWriter writer(target);
  std::uint8_t byte = 0;
  EXPECT_THROW(writer.Read(&byte, 1), EClipvaneError);
  try {
    writer.Seek(0, soBeginning);
    FAIL() << "no error";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Invalid stream operation");
  }
}

TEST(RleEncoder, GiflibDecodesRunsOfEveryLength) {
  for (int colours : {2, 4, 7, 16, 256}) {
    TGIFImage image;
    image.Encoding = encRLE;
    std::vector<std::uint8_t> runs;
    for (int length = 1; runs.size() < 40000; length = length * 3 / 2 + 1)
      runs.insert(runs.end(), static_cast<std::size_t>(length), static_cast<std::uint8_t>(length % colours));
    runs.resize(200 * 200);
    AddIndexedFrame(image, 200, 200, DistinctPalette(colours), runs, 4);
    AddIndexedFrame(image, 50, 40, DistinctPalette(colours), NoiseIndices(2000, colours, 3), 4);
    AddIndexedFrame(image, 300, 200, DistinctPalette(colours), std::vector<std::uint8_t>(60000, 1), 4);
    std::vector<std::uint8_t> alternating(90 * 90);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = static_cast<std::uint8_t>((i / 3000) % 2);
    AddIndexedFrame(image, 90, 90, DistinctPalette(colours), alternating, 4);
    SCOPED_TRACE(colours);
    ExpectGiflibAgrees(image, SaveToBytes(image));
  }
}

TEST(RleEncoder, InterlacedFrameDecodes) {
  TGIFImage image;
  image.Encoding = encRLE;
  image.GlobalColorMap().ImportDIBColors(DistinctPalette(4));
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 40, 21);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 40; ++x) frame->SetPixel(x, y, static_cast<std::uint8_t>((x / 9 + y) % 4));
  frame->SetInterlaced(true);
  image.AddFrame(std::move(frame));
  ExpectGiflibAgrees(image, SaveToBytes(image));
}

TEST(RleEncoder, UsesOnlyLiteralsAndRunsOfOnePixel) {
  const Bytes pixels = NoiseIndices(5000, 3, 8);
  Bytes runs;
  for (std::size_t i = 0; i < pixels.size(); ++i)
    runs.insert(runs.end(), static_cast<std::size_t>(pixels[i]) * 5 + i % 11 + 1, pixels[i]);
  const Bytes data = Compressed(TRLEEncoder(), 2, static_cast<int>(runs.size()), 1, false, runs, 4);
  const std::vector<int> codes = ReadCodes(data.data(), data.size());
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes.front(), 4);
  EXPECT_EQ(codes.back(), 5);
  // Decode with a model of the decoder's table: every code used must stand for a run of
  // one pixel value.
  struct TEntry {
    int Pixel;
    std::size_t Length;
    bool Uniform;
  };
  std::vector<TEntry> table;
  Bytes decoded;
  int previous = -1;
  auto entryOf = [&](int code) { return code < 4 ? TEntry{code, 1, true} : table[static_cast<std::size_t>(code - 6)]; };
  for (std::size_t i = 1; i + 1 < codes.size(); ++i) {
    const int code = codes[i];
    if (code == 4) {
      table.clear();
      previous = -1;
      continue;
    }
    ASSERT_NE(code, 5);
    TEntry entry{};
    if (code < 4 || static_cast<std::size_t>(code - 6) < table.size()) {
      entry = entryOf(code);
    } else {
      ASSERT_EQ(static_cast<std::size_t>(code - 6), table.size()) << i;
      ASSERT_GE(previous, 0);
      const TEntry last = entryOf(previous);
      entry = {last.Pixel, last.Length + 1, last.Uniform};
    }
    ASSERT_TRUE(entry.Uniform) << i;
    decoded.insert(decoded.end(), entry.Length, static_cast<std::uint8_t>(entry.Pixel));
    if (previous >= 0) {
      const TEntry last = entryOf(previous);
      table.push_back({last.Pixel, last.Length + 1, last.Uniform && last.Pixel == entry.Pixel});
    }
    previous = code;
  }
  EXPECT_EQ(decoded, runs);
  // Runs take fewer codes than pixels.
  EXPECT_LT(codes.size() * 2, runs.size());
}

TEST(GifSave, NoFramesRaisesBeforeAnyByte) {
  TGIFImage image;
  TGIFMemoryStream stream;
  std::vector<int> percents;
  image.OnProgress = [&](TGIFPersistent*, TProgressStage stage, int percent, bool, const TRect&, const std::string&) {
    if (stage == psEnding) percents.push_back(percent);
  };
  try {
    image.SaveToStream(stream);
    FAIL() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Unsupported GIF version");
  }
  EXPECT_TRUE(stream.Bytes().empty());
  EXPECT_EQ(percents, std::vector<int>{0});
}

TEST(GifSave, ProgressPerFrame) {
  TGIFImage image;
  for (int i = 0; i < 3; ++i) image.AddFrame(IndexedBitmap(2, 2, DistinctPalette(2), {0, 1, 1, 0}));
  std::vector<std::pair<int, int>> reports;
  image.OnProgress = [&](TGIFPersistent*, TProgressStage stage, int percent, bool, const TRect&,
                         const std::string& message) {
    EXPECT_EQ(message, "Saving...");
    reports.emplace_back(stage, percent);
  };
  SaveToBytes(image);
  const std::vector<std::pair<int, int>> expected = {
      {psStarting, 0}, {psRunning, 33}, {psRunning, 67}, {psRunning, 100}, {psEnding, 100}};
  EXPECT_EQ(reports, expected);
}

class GifSaveToFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder per process: ctest runs the tests of this fixture side by side.
    folder_ = std::filesystem::path(CLIPVANE_TEST_TMP) / ("gif_save_to_file_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  static Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path folder_;
};

TEST_F(GifSaveToFile, WritesTheStreamAndReplacesAnEarlierFile) {
  const auto path = folder_ / "out.gif";
  { std::ofstream(path) << "old"; }
  TGIFImage image;
  AddIndexedFrame(image, 9, 9, DistinctPalette(16), NoiseIndices(81, 16, 2), 3);
  AddLoop(image, 0);
  image.SaveToFile(path.string());
  EXPECT_EQ(ReadAll(path), SaveToBytes(image));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(GifSaveToFile, FailureLeavesTheEarlierFileIntact) {
  const auto path = folder_ / "keep.gif";
  { std::ofstream(path) << "earlier"; }
  TGIFImage empty;
  EXPECT_THROW(empty.SaveToFile(path.string()), GIFException);
  TGIFImage bad;
  bad.AddFrame(IndexedBitmap(2, 1, DistinctPalette(2), {0, 1}));
  bad.Images()[0]->SetPixel(0, 0, 9);
  EXPECT_THROW(bad.SaveToFile(path.string()), GIFException);
  EXPECT_EQ(ReadAll(path), (Bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
  TGIFImage good;
  good.AddFrame(IndexedBitmap(2, 1, DistinctPalette(2), {0, 1}));
  EXPECT_THROW(good.SaveToFile((folder_ / "missing" / "x.gif").string()), EClipvaneError);
}

}  // namespace
}  // namespace clipvane
