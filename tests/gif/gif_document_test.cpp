// The GIF document: frames from bitmaps of every depth, the bounds rule and its warnings,
// transparency, extensions and their frame bookkeeping, copies, clearing, palettes, pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using gif_test::DistinctPalette;
using gif_test::IndexedBitmap;
using gif_test::NoiseIndices;
using gif_test::SaveToBytes;

struct TWarnings {
  std::vector<std::string> Messages;
  std::vector<TGIFPersistent*> Senders;
  void Attach(TGIFImage& image) {
    image.OnWarning = [this](TGIFPersistent* sender, int, const std::string& message) {
      Messages.push_back(message);
      Senders.push_back(sender);
    };
  }
};

TBitmap TrueColourBitmap(int width, int height, int colours) {
  TBitmap bitmap(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int c = (y * width + x) % colours;
      bitmap.SetPixel(x, y, RGB(c & 0xFF, (c >> 8) * 40, 200));
    }
  return bitmap;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const GIFException& error) {
    return error.what();
  }
  return "";
}

TEST(GifAddFrame, TrueColourBitmapOnNewDocument) {
  TGIFImage image;
  TWarnings warnings;
  warnings.Attach(image);
  image.ReductionMethod = reduceOctreeSystem;
  image.DitherKind = ditherFloydSteinberg;
  EXPECT_EQ(image.AddFrame(TrueColourBitmap(12, 7, 50)), 0);
  const TGIFSubImage& frame = *image.Images()[0];
  EXPECT_EQ(frame.Left(), 0);
  EXPECT_EQ(frame.Top(), 0);
  EXPECT_EQ(frame.Width(), 12);
  EXPECT_EQ(frame.Height(), 7);
  EXPECT_EQ(image.Width(), 12);
  EXPECT_EQ(image.Height(), 7);
  EXPECT_EQ(frame.ColorMap().Count(), 256);
  EXPECT_TRUE(warnings.Messages.empty());
}

TEST(GifAddFrame, ReduceNoneKeepsEveryColourInFirstSeenOrder) {
  TGIFImage image;
  image.ReductionMethod = reduceNone;
  TBitmap bitmap(3, 2, TPixelFormat::pf24bit);
  const TColor colours[6] = {RGB(1, 2, 3), RGB(4, 5, 6), RGB(1, 2, 3), RGB(7, 8, 9), RGB(4, 5, 6), RGB(1, 2, 3)};
  for (int i = 0; i < 6; ++i) bitmap.SetPixel(i % 3, i / 3, colours[i]);
  image.AddFrame(bitmap);
  const TGIFSubImage& frame = *image.Images()[0];
  ASSERT_EQ(frame.ColorMap().Count(), 3);
  EXPECT_EQ(frame.ColorMap().Entries()[0], (TGIFColor{1, 2, 3}));
  EXPECT_EQ(frame.ColorMap().Entries()[1], (TGIFColor{4, 5, 6}));
  EXPECT_EQ(frame.ColorMap().Entries()[2], (TGIFColor{7, 8, 9}));
  EXPECT_EQ(std::vector<std::uint8_t>(frame.Data(), frame.Data() + 6), (std::vector<std::uint8_t>{0, 1, 0, 2, 1, 0}));
}

TEST(GifAddFrame, ThirtyTwoBitBitmapIsReadAsTrueColour) {
  TGIFImage image;
  image.ReductionMethod = reduceNone;
  TBitmap bitmap(2, 1, TPixelFormat::pf32bit);
  bitmap.SetPixel(0, 0, RGB(10, 20, 30));
  bitmap.SetPixel(1, 0, RGB(40, 50, 60));
  image.AddFrame(bitmap);
  EXPECT_EQ(image.Images()[0]->ColorMap().Color(1), RGB(40, 50, 60));
}

TEST(GifAddFrame, MoreThan256ColoursWithoutReductionAddsNoFrame) {
  TGIFImage image;
  image.ReductionMethod = reduceNone;
  const std::string error = ErrorOf([&] { image.AddFrame(TrueColourBitmap(20, 20, 300)); });
  EXPECT_EQ(error, "Color table overflow");
  EXPECT_EQ(image.Images().Count(), 0);
  // The screen grew while the frame was being sized, and stays so.
  EXPECT_EQ(image.Width(), 20);
}

TEST(GifAddFrame, UnknownReductionMethodIsAnError) {
  TGIFImage image;
  image.ReductionMethod = static_cast<TColorReduction>(12);
  EXPECT_EQ(ErrorOf([&] { image.AddFrame(TrueColourBitmap(4, 4, 3)); }), "Color reduction failed");
  EXPECT_EQ(image.Images().Count(), 0);
}

TEST(GifAddFrame, EightBitPaletteOf216GivesTableOf216) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(8, 8, DistinctPalette(216), NoiseIndices(64, 216, 3)));
  EXPECT_EQ(image.Images()[0]->ColorMap().Count(), 216);
  const auto bytes = SaveToBytes(image);
  // Descriptor packed byte: local table of 2^8 entries.
  EXPECT_EQ(bytes[13 + 9], 0x87);
  gif_test::ExpectGiflibAgrees(image, bytes);
}

TEST(GifAddFrame, FourAndOneBitRowsUnpackHighBitsFirst) {
  TGIFImage image;
  TBitmap four(3, 1, TPixelFormat::pf4bit);
  four.SetPalette(DistinctPalette(16));
  four.ScanLine(0)[0] = 0xA5;
  four.ScanLine(0)[1] = 0x30;
  image.AddFrame(four);
  TBitmap one(10, 1, TPixelFormat::pf1bit);
  one.SetPalette(DistinctPalette(2));
  one.ScanLine(0)[0] = 0xA0;
  one.ScanLine(0)[1] = 0x40;
  image.AddFrame(one);
  const TGIFSubImage& a = *image.Images()[0];
  const TGIFSubImage& b = *image.Images()[1];
  EXPECT_EQ(std::vector<std::uint8_t>(a.Data(), a.Data() + 3), (std::vector<std::uint8_t>{10, 5, 3}));
  EXPECT_EQ(std::vector<std::uint8_t>(b.Data(), b.Data() + 10),
            (std::vector<std::uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(a.ColorMap().Count(), 16);
  EXPECT_EQ(b.ColorMap().Count(), 2);
  gif_test::ExpectGiflibAgrees(image, SaveToBytes(image));
}

TEST(GifAddFrame, EmptyBitmapAddsEmptyFrameThatWritesOnlyItsExtensions) {
  TGIFImage image;
  EXPECT_EQ(image.AddFrame(TBitmap()), 0);
  TGIFSubImage* frame = image.Images()[0];
  EXPECT_TRUE(frame->Empty());
  EXPECT_EQ(frame->Width(), 0);
  auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
  control->SetDelay(10);
  frame->Extensions().Add(std::move(control));
  const auto bytes = SaveToBytes(image);
  const std::vector<std::uint8_t> expected = {'G', 'I', 'F',  '8',  '9', 'a', 0,  0, 0, 0, 0x77,
                                              0,   0,   0x21, 0xF9, 4,   0,   10, 0, 0, 0, 0x3B};
  EXPECT_EQ(bytes, expected);
}

TEST(GifAddFrame, ProgressIsReportedEvery32Rows) {
  TGIFImage image;
  std::vector<std::pair<int, int>> reports;
  image.OnProgress = [&](TGIFPersistent*, TProgressStage stage, int percent, bool, const TRect&,
                         const std::string& message) {
    EXPECT_EQ(message, "Converting...");
    reports.emplace_back(stage, percent);
  };
  image.AddFrame(IndexedBitmap(3, 70, DistinctPalette(4), NoiseIndices(210, 4, 1)));
  const std::vector<std::pair<int, int>> expected = {
      {psStarting, 0}, {psRunning, 0}, {psRunning, 46}, {psRunning, 91}, {psEnding, 100}};
  EXPECT_EQ(reports, expected);
}

TEST(GifAddFrame, AcceptsBuiltFramesAndRejectsOtherObjects) {
  TGIFImage image;
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 2, 2);
  TGIFSubImage* raw = frame.get();
  EXPECT_EQ(image.AddFrame(std::move(frame)), 0);
  EXPECT_EQ(image.Images()[0], raw);
  EXPECT_EQ(ErrorOf([&] { image.AddFrame(std::unique_ptr<TGIFSubImage>()); }),
            "Object type not supported for operation");
  TGIFCommentExtension comment(raw);
  EXPECT_EQ(ErrorOf([&] { image.AddFrame(static_cast<const TGIFPersistent&>(comment)); }),
            "Object type not supported for operation");
  // A frame given as an object is copied.
  EXPECT_EQ(image.AddFrame(static_cast<const TGIFPersistent&>(*raw)), 1);
  EXPECT_NE(image.Images()[1], raw);
  EXPECT_EQ(image.Images().Count(), 2);
}

TEST(GifBoundsRule, SecondFrameOfSameSizeLeavesScreenAlone) {
  TGIFImage image;
  TWarnings warnings;
  warnings.Attach(image);
  image.AddFrame(IndexedBitmap(5, 4, DistinctPalette(2), std::vector<std::uint8_t>(20, 1)));
  image.AddFrame(IndexedBitmap(5, 4, DistinctPalette(2), std::vector<std::uint8_t>(20, 0)));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_TRUE(warnings.Messages.empty());
}

TEST(GifBoundsRule, LargerFrameGrowsScreenWithWarnings) {
  TGIFImage image;
  TWarnings warnings;
  warnings.Attach(image);
  image.AddFrame(IndexedBitmap(5, 4, DistinctPalette(2), std::vector<std::uint8_t>(20, 1)));
  image.AddFrame(IndexedBitmap(8, 4, DistinctPalette(2), std::vector<std::uint8_t>(32, 1)));
  EXPECT_EQ(warnings.Messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                         "Image exceeds Logical Screen size"}));
  warnings.Messages.clear();
  image.AddFrame(IndexedBitmap(8, 9, DistinctPalette(2), std::vector<std::uint8_t>(72, 1)));
  EXPECT_EQ(warnings.Messages, (std::vector<std::string>{"Image height too small for contained frames",
                                                         "Image exceeds Logical Screen size"}));
  EXPECT_EQ(image.Width(), 8);
  EXPECT_EQ(image.Height(), 9);
}

TEST(GifBoundsRule, NewSizeReallocatesZeroedPixelsAndPositionGrowsScreen) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(2, 2, DistinctPalette(2), {1, 1, 1, 1}));
  TGIFSubImage* frame = image.Images()[0];
  frame->SetLeft(3);
  EXPECT_EQ(frame->Pixel(0, 0), 1);  // same size: pixels kept
  EXPECT_EQ(image.Width(), 5);
  frame->SetWidth(3);
  EXPECT_EQ(frame->DataSize(), 6u);
  EXPECT_EQ(frame->Pixel(0, 0), 0);
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(ErrorOf([&] { frame->SetLeft(65535); }), "Image width too small for contained frames");
  EXPECT_EQ(ErrorOf([&] { frame->SetTop(-1); }), "Invalid image dimensions");
  EXPECT_EQ(frame->Left(), 3);
}

TEST(GifBoundsRule, ScreenCannotShrinkBelowAFrame) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(5, 4, DistinctPalette(2), std::vector<std::uint8_t>(20, 1)));
  int changes = 0;
  image.OnChange = [&](TGIFImage*) { ++changes; };
  EXPECT_EQ(ErrorOf([&] { image.SetWidth(4); }), "Image width too small for contained frames");
  EXPECT_EQ(ErrorOf([&] { image.SetHeight(3); }), "Image height too small for contained frames");
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_EQ(changes, 0);
  image.SetWidth(9);
  image.SetWidth(9);
  EXPECT_EQ(image.Width(), 9);
  EXPECT_EQ(changes, 1);
}

TEST(GifTransparency, MaskedPixelsGetANewBlackEntry) {
  TGIFImage image;
  image.ReductionMethod = reduceNone;
  TBitmap bitmap(4, 1, TPixelFormat::pf24bit);
  bitmap.SetPixel(0, 0, RGB(200, 0, 0));
  bitmap.SetPixel(1, 0, RGB(0, 200, 0));
  bitmap.SetPixel(2, 0, RGB(0, 200, 0));
  bitmap.SetPixel(3, 0, RGB(9, 9, 9));
  const TBitmap mask = MakeTransparencyMask(bitmap, RGB(9, 9, 9));
  image.AddFrame(bitmap, &mask);
  const TGIFSubImage& frame = *image.Images()[0];
  ASSERT_TRUE(frame.Transparent());
  ASSERT_NE(frame.GraphicControlExtension(), nullptr);
  ASSERT_EQ(frame.ColorMap().Count(), 4);
  // Optimised first: the green used twice leads.
  EXPECT_EQ(frame.ColorMap().Entries()[0], (TGIFColor{0, 200, 0}));
  EXPECT_EQ(frame.ColorMap().Entries()[3], (TGIFColor{0, 0, 0}));
  EXPECT_EQ(frame.GraphicControlExtension()->TransparentColorIndex(), 3);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.Data(), frame.Data() + 4), (std::vector<std::uint8_t>{1, 0, 0, 3}));
  EXPECT_EQ(frame.Extensions().Count(), 1);
  gif_test::ExpectGiflibAgrees(image, SaveToBytes(image));
}

TEST(GifTransparency, MaskWithoutSetPixelsLeavesTheFrameOpaque) {
  TGIFImage image;
  image.ReductionMethod = reduceNone;
  TBitmap bitmap(2, 1, TPixelFormat::pf24bit);
  bitmap.SetPixel(0, 0, RGB(1, 1, 1));
  bitmap.SetPixel(1, 0, RGB(2, 2, 2));
  const TBitmap mask = MakeTransparencyMask(bitmap, RGB(3, 3, 3));
  image.AddFrame(bitmap, &mask);
  EXPECT_FALSE(image.Images()[0]->Transparent());
  EXPECT_EQ(image.Images()[0]->ColorMap().Count(), 2);
  EXPECT_EQ(image.Images()[0]->Extensions().Count(), 0);
}

TEST(GifTransparency, FullTableGetsNoTransparency) {
  TGIFImage image;
  std::vector<std::uint8_t> every(256);
  for (int i = 0; i < 256; ++i) every[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  const TBitmap allUsed = IndexedBitmap(16, 16, DistinctPalette(256), every);
  const TBitmap mask = MakeTransparencyMask(allUsed, allUsed.GetPixel(0, 0));
  image.AddFrame(allUsed, &mask);
  EXPECT_FALSE(image.Images()[0]->Transparent());
  EXPECT_EQ(image.Images()[0]->ColorMap().Count(), 256);
}

TEST(GifGraphicControl, DefaultsDisposalAndTransparentIndexRange) {
  TGIFImage image;
  TWarnings warnings;
  warnings.Attach(image);
  image.AddFrame(IndexedBitmap(2, 2, DistinctPalette(16), {0, 1, 2, 3}));
  TGIFSubImage* frame = image.Images()[0];
  auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
  EXPECT_EQ(control->Delay(), 0);
  EXPECT_EQ(control->Disposal(), dmNone);
  EXPECT_FALSE(control->Transparent());
  EXPECT_EQ(frame->GraphicControlExtension(), control.get());
  control->SetTransparentColorIndex(200);
  EXPECT_EQ(control->TransparentColorIndex(), 0);
  EXPECT_EQ(warnings.Messages, (std::vector<std::string>{"Invalid color index"}));
  control->SetTransparentColorIndex(15);
  EXPECT_EQ(control->TransparentColorIndex(), 15);
  control->SetDisposal(dmPrevious);
  control->SetTransparent(true);
  control->SetDisposal(dmBackground);
  EXPECT_EQ(control->Disposal(), dmBackground);
  EXPECT_TRUE(control->Transparent());
  EXPECT_TRUE(frame->Transparent());
  // A second one does not take over the frame's reference.
  auto second = std::make_unique<TGIFGraphicControlExtension>(frame);
  EXPECT_EQ(frame->GraphicControlExtension(), control.get());
  frame->Extensions().Add(std::move(control));
  frame->Extensions().Add(std::move(second));
  // Destroying the control extension clears the frame's flag and reference.
  frame->Extensions().Delete(0);
  EXPECT_FALSE(frame->Transparent());
  EXPECT_EQ(frame->GraphicControlExtension(), nullptr);
  EXPECT_EQ(frame->Extensions().Count(), 1);
}

TEST(GifGraphicControl, NewLoopingBlockRepeatsForever) {
  TGIFSubImage frame(nullptr);
  TGIFAppExtNSLoop loop(&frame);
  EXPECT_EQ(loop.LoopCount, 0);
  EXPECT_EQ(loop.BufferSize, 0u);
  EXPECT_EQ(std::string(loop.Identifier.begin(), loop.Identifier.end()), "NETSCAPE2.0");
}

TEST(GifVersion, AnyExtensionMakesTheDocument89a) {
  TGIFImage image;
  EXPECT_EQ(image.Version(), 0);
  image.AddFrame(IndexedBitmap(2, 1, DistinctPalette(2), {0, 1}));
  EXPECT_EQ(image.Version(), 1);
  const auto plain = SaveToBytes(image);
  EXPECT_EQ(std::string(plain.begin(), plain.begin() + 6), "GIF87a");
  image.Images()[0]->Extensions().Add(std::make_unique<TGIFCommentExtension>(image.Images()[0]));
  EXPECT_EQ(image.Version(), 2);
  EXPECT_EQ(image.Header().Version(), 2);
  const auto bytes = SaveToBytes(image);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
}

TEST(GifDocumentCopy, CopiesFramesTablesExtensionsAndSettings) {
  TGIFImage source;
  source.ReductionMethod = reduceOctreeSystem;
  source.DitherKind = ditherFloydSteinberg;
  source.PaintOptions = poAnimate;
  source.BackdropColor = RGB(1, 2, 3);
  source.Encoding = encRLE;
  source.QuantizeBits = 4;
  gif_test::AddIndexedFrame(source, 6, 5, DistinctPalette(7), NoiseIndices(30, 7, 4), 12);
  gif_test::AddLoop(source, 2);
  source.GlobalColorMap().ImportDIBColors(DistinctPalette(4));
  std::vector<std::string> copying;
  source.OnProgress = [&](TGIFPersistent*, TProgressStage, int, bool, const TRect&, const std::string& message) {
    copying.push_back(message);
  };

  TGIFImage copy;
  copy.Assign(source);
  EXPECT_EQ(copying.front(), "Copying...");
  EXPECT_EQ(copy.ReductionMethod, reduceOctreeSystem);
  EXPECT_EQ(copy.DitherKind, ditherFloydSteinberg);
  EXPECT_EQ(copy.PaintOptions, poAnimate);
  EXPECT_EQ(copy.BackdropColor, RGB(1, 2, 3));
  EXPECT_EQ(copy.Encoding, encLZW);  // not a copied setting
  EXPECT_EQ(copy.QuantizeBits, 8);
  EXPECT_FALSE(copy.OnProgress);
  ASSERT_EQ(copy.Images().Count(), 1);
  EXPECT_NE(copy.Images()[0], source.Images()[0]);
  EXPECT_NE(copy.Images()[0]->Extensions()[0], source.Images()[0]->Extensions()[0]);
  EXPECT_EQ(copy.Images()[0]->GraphicControlExtension(), copy.Images()[0]->Extensions()[0]);
  source.Encoding = encLZW;
  EXPECT_EQ(SaveToBytes(copy), SaveToBytes(source));
}

TEST(GifDocumentCopy, FrameCopyOfAnEmptyFrameStaysEmpty) {
  TGIFImage image;
  TGIFSubImage empty(&image);
  empty.Extensions().Add(std::make_unique<TGIFCommentExtension>(&empty));
  TGIFSubImage copy(&image);
  copy.Assign(empty);
  EXPECT_TRUE(copy.Empty());
  EXPECT_EQ(copy.Extensions().Count(), 0);
}

TEST(GifDocumentClear, DropsFramesTableAndScreen) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(5, 4, DistinctPalette(2), std::vector<std::uint8_t>(20, 1)));
  image.GlobalColorMap().Add(RGB(1, 1, 1));
  image.Clear();
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.GlobalColorMap().Count(), 0);
  EXPECT_EQ(image.Header().Descriptor().PackedFields, 0x77);
  EXPECT_EQ(ErrorOf([&] { SaveToBytes(image); }), "Unsupported GIF version");
}

TEST(GifDocumentPalette, GlobalTableThenFrameZeroAndNestedRequestFails) {
  TGIFImage image;
  image.PaintOptions = 0;
  EXPECT_FALSE(image.Palette());
  image.AddFrame(IndexedBitmap(2, 1, DistinctPalette(2), {0, 1}));
  const TGIFPaletteRef fromFrame = image.Palette();
  ASSERT_TRUE(fromFrame);
  EXPECT_EQ(fromFrame->size(), 2u);

  TGIFImage global;
  global.PaintOptions = 0;
  global.GlobalColorMap().ImportDIBColors(DistinctPalette(3));
  ASSERT_TRUE(global.Palette());
  EXPECT_EQ(global.Palette()->size(), 3u);
  EXPECT_EQ((*global.Palette())[0].peFlags, PC_NOCOLLAPSE);

  // A frame without tables asks the document, which is asking the frame.
  TGIFImage none;
  none.PaintOptions = 0;
  auto frame = std::make_unique<TGIFSubImage>(&none);
  frame->SetBounds(0, 0, 1, 1);
  none.AddFrame(std::move(frame));
  EXPECT_EQ(ErrorOf([&] { none.Palette(); }), "No global or local color table defined");
}

TEST(GifDocumentPalette, WebPaletteWhenForcedOn) {
  TGIFImage image;
  image.PaintOptions = poWebPalette;
  ASSERT_TRUE(image.Palette());
  EXPECT_EQ(image.Palette()->size(), 216u);
}

TEST(GifPixelAccess, CoordinatesAreChecked) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(3, 2, DistinctPalette(4), {0, 1, 2, 3, 2, 1}));
  TGIFSubImage* frame = image.Images()[0];
  EXPECT_EQ(frame->Pixel(2, 1), 1);
  EXPECT_EQ(frame->ScanLine(1)[0], 3);
  frame->SetPixel(0, 0, 3);
  EXPECT_EQ(frame->Pixel(0, 0), 3);
  for (auto [x, y] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 2}, std::pair{0, -1}})
    EXPECT_EQ(ErrorOf([&] { frame->Pixel(x, y); }), "Invalid pixel coordinates");
  EXPECT_EQ(ErrorOf([&] { frame->ScanLine(2); }), "Invalid pixel coordinates");
  TGIFSubImage empty(&image);
  EXPECT_EQ(ErrorOf([&] { empty.Pixel(0, 0); }), "Invalid pixel coordinates");
}

TEST(GifFrameBitmap, FrameAsEightBitBitmapWithActiveTable) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(3, 2, DistinctPalette(4), {0, 1, 2, 3, 2, 1}));
  TBitmap bitmap;
  image.Images()[0]->AssignTo(bitmap);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap.GetIndex(0, 1), 3);
  EXPECT_EQ(bitmap.GetPixel(1, 0), DistinctPalette(4)[1].ToColor());
}

}  // namespace
}  // namespace clipvane
