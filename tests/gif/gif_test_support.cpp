// GIF test helpers: giflib decoding of what we write, index-picture documents, code reading.
#include "gif_test_support.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace clipvane::gif_test {

namespace {

struct TMemoryInput {
  const std::vector<std::uint8_t>* Bytes;
  std::size_t Position;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int count) {
  auto* input = static_cast<TMemoryInput*>(file->UserData);
  const std::size_t left = input->Bytes->size() - input->Position;
  const std::size_t n = std::min(left, static_cast<std::size_t>(std::max(count, 0)));
  std::memcpy(buffer, input->Bytes->data() + input->Position, n);
  input->Position += n;
  return static_cast<int>(n);
}

std::vector<TGIFColor> Colors(const ColorMapObject* map) {
  std::vector<TGIFColor> colors;
  if (map == nullptr) return colors;
  for (int i = 0; i < map->ColorCount; ++i)
    colors.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  return colors;
}

void ReadLoopCount(const ExtensionBlock* blocks, int count, TDecodedGif& result) {
  for (int i = 0; i + 1 < count; ++i) {
    const ExtensionBlock& block = blocks[i];
    if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
        std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && result.LoopCount < 0) {
      const ExtensionBlock& data = blocks[i + 1];
      if (data.ByteCount >= 3 && data.Bytes[0] == 1) result.LoopCount = data.Bytes[1] | (data.Bytes[2] << 8);
    }
  }
}

}  // namespace

bool DecodeWithGiflib(const std::vector<std::uint8_t>& bytes, TDecodedGif& result, int& error) {
  result = TDecodedGif{};
  TMemoryInput input{&bytes, 0};
  error = 0;
  GifFileType* file = DGifOpen(&input, &ReadFromMemory, &error);
  if (file == nullptr) return false;
  if (DGifSlurp(file) != GIF_OK) {
    error = file->Error;
    int closeError = 0;
    DGifCloseFile(file, &closeError);
    return false;
  }
  result.Width = file->SWidth;
  result.Height = file->SHeight;
  result.GlobalColors = Colors(file->SColorMap);
  for (int i = 0; i < file->ImageCount; ++i) {
    const SavedImage& image = file->SavedImages[i];
    TDecodedFrame frame;
    frame.Left = image.ImageDesc.Left;
    frame.Top = image.ImageDesc.Top;
    frame.Width = image.ImageDesc.Width;
    frame.Height = image.ImageDesc.Height;
    frame.Interlaced = image.ImageDesc.Interlace;
    const std::size_t size = static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height);
    frame.Pixels.assign(image.RasterBits, image.RasterBits + size);
    frame.LocalColors = Colors(image.ImageDesc.ColorMap);
    GraphicsControlBlock control;
    if (DGifSavedExtensionToGCB(file, i, &control) == GIF_OK) {
      frame.Delay = control.DelayTime;
      frame.TransparentIndex = control.TransparentColor;
      frame.Disposal = control.DisposalMode;
    }
    ReadLoopCount(image.ExtensionBlocks, image.ExtensionBlockCount, result);
    result.Frames.push_back(std::move(frame));
  }
  int closeError = 0;
  DGifCloseFile(file, &closeError);
  return true;
}

std::vector<std::uint8_t> SaveToBytes(TGIFImage& image) {
  TGIFMemoryStream stream;
  image.SaveToStream(stream);
  return stream.TakeBytes();
}

void ExpectGiflibAgrees(const TGIFImage& image, const std::vector<std::uint8_t>& bytes) {
  TDecodedGif decoded;
  int error = 0;
  ASSERT_TRUE(DecodeWithGiflib(bytes, decoded, error)) << "giflib error " << error;
  EXPECT_EQ(decoded.Width, image.Width());
  EXPECT_EQ(decoded.Height, image.Height());
  std::size_t next = 0;
  int loopCount = -1;
  for (const auto& frame : image.Images()) {
    for (const auto& extension : frame->Extensions())
      if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension.get()); loop && loopCount < 0)
        loopCount = loop->LoopCount;
    if (frame->Empty()) continue;
    ASSERT_LT(next, decoded.Frames.size());
    const TDecodedFrame& got = decoded.Frames[next++];
    EXPECT_EQ(got.Left, frame->Left());
    EXPECT_EQ(got.Top, frame->Top());
    EXPECT_EQ(got.Width, frame->Width());
    EXPECT_EQ(got.Height, frame->Height());
    EXPECT_EQ(got.Pixels, std::vector<std::uint8_t>(frame->Data(), frame->Data() + frame->DataSize()));
    const auto local = frame->ColorMap().Entries();
    if (local.empty()) {
      EXPECT_TRUE(got.LocalColors.empty());
    } else {
      ASSERT_GE(got.LocalColors.size(), local.size());
      EXPECT_TRUE(std::equal(local.begin(), local.end(), got.LocalColors.begin()));
      EXPECT_TRUE(std::all_of(got.LocalColors.begin() + static_cast<std::ptrdiff_t>(local.size()),
                              got.LocalColors.end(), [](const TGIFColor& c) { return c == TGIFColor{}; }));
    }
    if (const TGIFGraphicControlExtension* control = frame->GraphicControlExtension()) {
      EXPECT_EQ(got.Delay, control->Delay());
      EXPECT_EQ(got.TransparentIndex, control->Transparent() ? control->TransparentColorIndex() : -1);
    } else {
      EXPECT_EQ(got.Delay, -1);
    }
  }
  EXPECT_EQ(next, decoded.Frames.size());
  EXPECT_EQ(decoded.LoopCount, loopCount);
  const auto global = image.Header().ColorMap().Entries();
  ASSERT_GE(decoded.GlobalColors.size(), global.size());
  EXPECT_TRUE(std::equal(global.begin(), global.end(), decoded.GlobalColors.begin()));
}

TBitmap IndexedBitmap(int width, int height, const std::vector<TRGBQuad>& palette,
                      const std::vector<std::uint8_t>& indices) {
  TBitmap bitmap(width, height, TPixelFormat::pf8bit);
  bitmap.SetPalette(palette);
  for (int y = 0; y < height; ++y)
    std::memcpy(bitmap.ScanLine(y), indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                static_cast<std::size_t>(width));
  return bitmap;
}

std::vector<TRGBQuad> DistinctPalette(int count) {
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < count; ++i) palette.push_back(TRGBQuad::FromColor(RGB((i * 37) & 0xFF, (i * 91 + 13) & 0xFF, i)));
  return palette;
}

std::vector<std::uint8_t> NoiseIndices(std::size_t count, int limit, std::uint32_t seed) {
  std::vector<std::uint8_t> indices(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& index : indices) {
    state = state * 1664525u + 1013904223u;
    index = static_cast<std::uint8_t>((state >> 16) % static_cast<std::uint32_t>(limit));
  }
  return indices;
}

void AddIndexedFrame(TGIFImage& image, int width, int height, const std::vector<TRGBQuad>& palette,
                     const std::vector<std::uint8_t>& indices, int delay) {
  const int index = image.AddFrame(IndexedBitmap(width, height, palette, indices));
  TGIFSubImage* frame = image.Images()[index];
  auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
  control->SetDelay(static_cast<std::uint16_t>(delay));
  frame->Extensions().Add(std::move(control));
}

void AddLoop(TGIFImage& image, int loopCount) {
  TGIFSubImage* frame = image.Images()[0];
  auto loop = std::make_unique<TGIFAppExtNSLoop>(frame);
  loop->LoopCount = static_cast<std::uint16_t>(loopCount);
  frame->Extensions().Add(std::move(loop));
}

std::vector<int> ReadCodes(const std::uint8_t* data, std::size_t size) {
  std::vector<int> codes;
  if (size < 1) return codes;
  const int bits = data[0];
  std::vector<std::uint8_t> packed;
  std::size_t at = 1;
  while (at < size && data[at] != 0) {
    const std::size_t n = data[at];
    packed.insert(packed.end(), data + at + 1, data + std::min(size, at + 1 + n));
    at += 1 + n;
  }
  const int clear = 1 << bits;
  int width = bits + 1;
  int nextFree = clear + 2;
  bool afterClear = true;
  std::size_t bit = 0;
  while (bit + static_cast<std::size_t>(width) <= packed.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((packed[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = bits + 1;
      nextFree = clear + 2;
      afterClear = true;
      continue;
    }
    if (!afterClear && nextFree < 4096) {
      ++nextFree;
      if (nextFree == (1 << width) && width < 12) ++width;
    }
    afterClear = false;
  }
  return codes;
}

std::size_t ImageDataOffset(const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 13;
  if (bytes.size() > 10 && (bytes[10] & 0x80) != 0) at += 3u << ((bytes[10] & 7) + 1);
  while (at < bytes.size()) {
    if (bytes[at] == 0x21) {
      at += 2;
      while (at < bytes.size() && bytes[at] != 0) at += 1 + bytes[at];
      ++at;
    } else if (bytes[at] == 0x2C) {
      const std::uint8_t packed = bytes[at + 9];
      at += 10;
      if ((packed & 0x80) != 0) at += 3u << ((packed & 7) + 1);
      return at;
    } else {
      break;
    }
  }
  ADD_FAILURE() << "no image data";
  return 0;
}

std::vector<std::uint8_t> SampleAnimation(TGIFEncoding encoding) {
  TGIFImage image;
  BuildSampleAnimation(image);
  image.Encoding = encoding;
  return SaveToBytes(image);
}

void BuildSampleAnimation(TGIFImage& image) {
  // Frame 0: 40 x 30 with 256 local colours, looping block and a comment.
  AddIndexedFrame(image, 40, 30, DistinctPalette(256), NoiseIndices(40 * 30, 256, 1), 10);
  AddLoop(image, 3);
  auto comment = std::make_unique<TGIFCommentExtension>(image.Images()[0]);
  comment->Text = {"made by the tests", std::string(300, 'x')};
  image.Images()[0]->Extensions().Add(std::move(comment));
  // Frame 1: 17 x 9 at (5, 4) with 5 local colours and a transparent index.
  std::vector<std::uint8_t> smooth(17 * 9);
  for (std::size_t i = 0; i < smooth.size(); ++i) smooth[i] = static_cast<std::uint8_t>((i / 7) % 5);
  AddIndexedFrame(image, 17, 9, DistinctPalette(5), smooth, 7);
  image.Images()[1]->SetBounds(5, 4, 17, 9);
  std::copy(smooth.begin(), smooth.end(), image.Images()[1]->Data());
  image.Images()[1]->GraphicControlExtension()->SetTransparent(true);
  image.Images()[1]->GraphicControlExtension()->SetTransparentColorIndex(3);
  image.Images()[1]->GraphicControlExtension()->SetDisposal(dmBackground);
  // Frame 2: interlaced, drawn with the global table, with an unknown application block.
  image.GlobalColorMap().ImportDIBColors(DistinctPalette(16));
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 31, 13);
  const auto noise = NoiseIndices(31 * 13, 16, 2);
  std::copy(noise.begin(), noise.end(), frame->Data());
  frame->SetInterlaced(true);
  auto unknown = std::make_unique<TGIFUnknownAppExtension>(frame.get());
  const char id[] = "CLIPVANE1.0";
  std::copy(id, id + 11, unknown->Identifier.begin());
  unknown->Blocks = {{{1, 2, 3}}, {std::vector<std::uint8_t>(255, 9)}};
  frame->Extensions().Add(std::move(unknown));
  image.AddFrame(std::move(frame));
}

namespace {

int WriteToMemory(GifFileType* file, const GifByteType* data, int count) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  bytes->insert(bytes->end(), data, data + count);
  return count;
}

ColorMapObject* MakeMap(const std::vector<TGIFColor>& colors) {
  if (colors.empty()) return nullptr;
  std::vector<GifColorType> entries;
  for (const TGIFColor& c : colors) entries.push_back({c.Red, c.Green, c.Blue});
  return GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
}

// The rows of an interlaced image in the order they are stored, written out here rather than
// taken from the code under test: every row whose number leaves 0 after division by 8, then
// those leaving 4, then the even rows not yet taken, then the odd rows.
std::vector<int> InterlacedRowOrder(int height) {
  std::vector<int> rows;
  for (int row = 0; row < height; ++row)
    if (row % 8 == 0) rows.push_back(row);
  for (int row = 0; row < height; ++row)
    if (row % 8 == 4) rows.push_back(row);
  for (int row = 0; row < height; ++row)
    if (row % 4 == 2) rows.push_back(row);
  for (int row = 0; row < height; ++row)
    if (row % 2 == 1) rows.push_back(row);
  return rows;
}

}  // namespace

std::vector<std::uint8_t> EncodeWithGiflib(const TDecodedGif& gif) {
  std::vector<std::uint8_t> bytes;
  int error = 0;
  GifFileType* file = EGifOpen(&bytes, &WriteToMemory, &error);
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return bytes;
  EGifSetGifVersion(file, true);
  ColorMapObject* global = MakeMap(gif.GlobalColors);
  EXPECT_EQ(EGifPutScreenDesc(file, gif.Width, gif.Height, 8, 0, global), GIF_OK);
  if (gif.LoopCount >= 0) {
    const std::uint8_t loop[3] = {1, static_cast<std::uint8_t>(gif.LoopCount),
                                  static_cast<std::uint8_t>(gif.LoopCount >> 8)};
    EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(file, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(file, 3, loop);
    EGifPutExtensionTrailer(file);
  }
  for (const TDecodedFrame& frame : gif.Frames) {
    if (frame.Delay >= 0) {
      const std::uint8_t control[4] = {
          static_cast<std::uint8_t>((frame.Disposal << 2) | (frame.TransparentIndex >= 0 ? 1 : 0)),
          static_cast<std::uint8_t>(frame.Delay), static_cast<std::uint8_t>(frame.Delay >> 8),
          static_cast<std::uint8_t>(std::max(frame.TransparentIndex, 0))};
      EXPECT_EQ(EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, control), GIF_OK);
    }
    ColorMapObject* local = MakeMap(frame.LocalColors);
    EXPECT_EQ(EGifPutImageDesc(file, frame.Left, frame.Top, frame.Width, frame.Height, frame.Interlaced, local),
              GIF_OK);
    GifFreeMapObject(local);
    std::vector<int> rows;
    if (frame.Interlaced) rows = InterlacedRowOrder(frame.Height);
    else
      for (int row = 0; row < frame.Height; ++row) rows.push_back(row);
    for (int row : rows) {
      std::vector<GifPixelType> line(frame.Pixels.begin() + static_cast<std::ptrdiff_t>(row) * frame.Width,
                                     frame.Pixels.begin() + static_cast<std::ptrdiff_t>(row + 1) * frame.Width);
      EXPECT_EQ(EGifPutLine(file, line.data(), frame.Width), GIF_OK);
    }
  }
  GifFreeMapObject(global);
  EXPECT_EQ(EGifCloseFile(file, &error), GIF_OK);
  return bytes;
}

void ExpectSameAsGiflib(const TGIFImage& image, const TDecodedGif& decoded) {
  EXPECT_EQ(image.Width(), decoded.Width);
  EXPECT_EQ(image.Height(), decoded.Height);
  const auto global = image.Header().ColorMap().Entries();
  EXPECT_EQ(std::vector<TGIFColor>(global.begin(), global.end()), decoded.GlobalColors);
  ASSERT_EQ(image.Images().Count(), static_cast<int>(decoded.Frames.size()));
  int loopCount = -1;
  for (int i = 0; i < image.Images().Count(); ++i) {
    const TGIFSubImage& frame = *image.Images()[i];
    const TDecodedFrame& want = decoded.Frames[static_cast<std::size_t>(i)];
    SCOPED_TRACE(i);
    EXPECT_EQ(frame.Left(), want.Left);
    EXPECT_EQ(frame.Top(), want.Top);
    EXPECT_EQ(frame.Width(), want.Width);
    EXPECT_EQ(frame.Height(), want.Height);
    EXPECT_EQ(frame.Interlaced(), want.Interlaced);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.Data(), frame.Data() + frame.DataSize()), want.Pixels);
    const auto local = frame.ColorMap().Entries();
    EXPECT_EQ(std::vector<TGIFColor>(local.begin(), local.end()), want.LocalColors);
    const TGIFGraphicControlExtension* control = frame.GraphicControlExtension();
    EXPECT_EQ(control != nullptr ? control->Delay() : -1, want.Delay);
    if (control != nullptr) {
      EXPECT_EQ(control->Transparent() ? control->TransparentColorIndex() : -1, want.TransparentIndex);
      EXPECT_EQ(control->Disposal(), want.Disposal);
    }
    for (const auto& extension : frame.Extensions())
      if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension.get()); loop && loopCount < 0)
        loopCount = loop->LoopCount;
  }
  EXPECT_EQ(loopCount, decoded.LoopCount);
}

}  // namespace clipvane::gif_test
