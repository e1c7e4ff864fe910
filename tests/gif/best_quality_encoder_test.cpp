// "Best quality" GIFs read back by giflib: every displayed frame, composed as decoders
// compose them (disposal "do not dispose", transparent pixels leave the screen), is what
// the encoder says it shows, and close to the picture it was made from; frame 0 is whole
// with the looping block first; unchanged frames stay, one transparent pixel each.
#include "gif/best_quality_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gif_test_support.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

struct TEncoded {
  std::vector<TBitmap> Screens;  // what the encoder says is shown after each frame
  std::vector<std::uint8_t> Bytes;
  int FrameCount = 0;
};

TEncoded Encode(const std::vector<TBitmap>& pictures, std::uint16_t delay = 4) {
  TEncoded result;
  TGIFImage document;
  TBestQualityEncoder encoder;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_EQ(encoder.AddFrame(document, pictures[i], delay), static_cast<int>(i));
    const TBitmap* screen = encoder.Screen();
    EXPECT_NE(screen, nullptr);
    result.Screens.push_back(screen != nullptr ? *screen : TBitmap());
  }
  result.FrameCount = document.Images().Count();
  result.Bytes = gif_test::SaveToBytes(document);
  return result;
}

// Composes giflib's frames onto a screen the way every decoder does for disposal 1, and
// compares each with what the encoder said it shows.
gif_test::TDecodedGif ExpectGiflibShowsTheScreens(const TEncoded& encoded) {
  gif_test::TDecodedGif gif;
  int error = 0;
  EXPECT_TRUE(gif_test::DecodeWithGiflib(encoded.Bytes, gif, error)) << "giflib error " << error;
  EXPECT_EQ(gif.Frames.size(), encoded.Screens.size());
  if (gif.Frames.empty()) return gif;
  TBitmap screen(gif.Width, gif.Height);
  for (std::size_t i = 0; i < gif.Frames.size() && i < encoded.Screens.size(); ++i) {
    const gif_test::TDecodedFrame& frame = gif.Frames[i];
    EXPECT_EQ(frame.Disposal, 1) << "frame " << i;
    const std::vector<TGIFColor>& colours = frame.LocalColors.empty() ? gif.GlobalColors : frame.LocalColors;
    for (int y = 0; y < frame.Height; ++y)
      for (int x = 0; x < frame.Width; ++x) {
        const int index = frame.Pixels[static_cast<std::size_t>(y) * frame.Width + x];
        if (index == frame.TransparentIndex) continue;
        const TGIFColor& c = colours.at(static_cast<std::size_t>(index));
        screen.SetPixel(frame.Left + x, frame.Top + y, RGB(c.Red, c.Green, c.Blue));
      }
    EXPECT_TRUE(screen == encoded.Screens[i]) << "frame " << i << " shows something else";
  }
  return gif;
}

bool Shows(const TBitmap* screen, const TBitmap& expected) { return screen != nullptr && *screen == expected; }

double Psnr(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < 3 * a.Width(); ++x) {
      const double d = double(a.ScanLine(y)[x]) - b.ScanLine(y)[x];
      sum += d * d;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

// A moving scene of many colours: a gradient background with a bright square sliding over it.
std::vector<TBitmap> SlidingSquare(int frames) {
  std::vector<TBitmap> pictures;
  for (int f = 0; f < frames; ++f)
    pictures.push_back(MakePicture(96, 64, [f](int x, int y) {
      if (x >= 10 + 6 * f && x < 26 + 6 * f && y >= 20 && y < 36) return RGB(250, 240, 20);
      return RGB(2 * x + y, 3 * y, 200 - x);
    }));
  return pictures;
}

TEST(BestQualityEncoder, GiflibShowsWhatTheEncoderComposedAndItIsCloseToThePictures) {
  const std::vector<TBitmap> pictures = SlidingSquare(6);
  const TEncoded encoded = Encode(pictures, 7);
  const gif_test::TDecodedGif gif = ExpectGiflibShowsTheScreens(encoded);
  ASSERT_EQ(gif.Frames.size(), 6u);
  EXPECT_EQ(gif.LoopCount, 0);
  // Frame 0 whole and opaque, with the global table; later frames only what changed.
  EXPECT_EQ(gif.Frames[0].Left, 0);
  EXPECT_EQ(gif.Frames[0].Width, 96);
  EXPECT_EQ(gif.Frames[0].Height, 64);
  EXPECT_EQ(gif.Frames[0].TransparentIndex, -1);
  EXPECT_EQ(gif.GlobalColors.size(), 256u);
  for (std::size_t i = 0; i < gif.Frames.size(); ++i) {
    EXPECT_EQ(gif.Frames[i].Delay, 7);
    EXPECT_GT(Psnr(encoded.Screens[i], pictures[i]), 34) << "frame " << i;
  }
  for (std::size_t i = 1; i < gif.Frames.size(); ++i) {
    EXPECT_LT(gif.Frames[i].Width * gif.Frames[i].Height, 96 * 64 / 2) << "frame " << i;
    EXPECT_GE(gif.Frames[i].TransparentIndex, 0);
  }
}

TEST(BestQualityEncoder, TheLoopingBlockComesFirstOnFrameZeroOnly) {
  TGIFImage document;
  TBestQualityEncoder encoder;
  for (const TBitmap& picture : SlidingSquare(3)) encoder.AddFrame(document, picture, 5);
  const TGIFExtensionList& first = document.Images()[0]->Extensions();
  ASSERT_EQ(first.Count(), 2);
  EXPECT_NE(dynamic_cast<const TGIFAppExtNSLoop*>(first[0]), nullptr);
  EXPECT_NE(dynamic_cast<const TGIFGraphicControlExtension*>(first[1]), nullptr);
  for (int i = 1; i < 3; ++i) {
    ASSERT_EQ(document.Images()[i]->Extensions().Count(), 1);
    const auto* control = document.Images()[i]->GraphicControlExtension();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Disposal(), dmNoDisposal);
    EXPECT_EQ(control->Delay(), 5);
  }
}

TEST(BestQualityEncoder, FewColoursAreLosslessInEveryFrame) {
  std::vector<TBitmap> pictures;
  for (int f = 0; f < 5; ++f)
    pictures.push_back(MakePicture(
        40, 30, [f](int x, int y) { return RGB(60 * ((x + f) % 4), 80 * ((y / 3 + f) % 3), f % 2 ? 255 : 0); }));
  const TEncoded encoded = Encode(pictures);
  ExpectGiflibShowsTheScreens(encoded);
  for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_TRUE(encoded.Screens[i] == pictures[i]) << "frame " << i;
}

TEST(BestQualityEncoder, FramesThatNeverChangeStayOnePixelEachWithTheirDelays) {
  const TBitmap still = MakePicture(50, 40, [](int x, int y) { return RGB(5 * x, 6 * y, x * y % 256); });
  const TEncoded encoded = Encode(std::vector<TBitmap>(4, still), 3);
  const gif_test::TDecodedGif gif = ExpectGiflibShowsTheScreens(encoded);
  ASSERT_EQ(gif.Frames.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(gif.Frames[i].Width * gif.Frames[i].Height, 1);
    EXPECT_EQ(gif.Frames[i].Pixels[0], gif.Frames[i].TransparentIndex);
    EXPECT_EQ(gif.Frames[i].Delay, 3);
  }
  EXPECT_TRUE(encoded.Screens[3] == encoded.Screens[0]);
}

TEST(BestQualityEncoder, FramesThatAllChangeAreWrittenWhole) {
  // Two unrelated pictures in turn: every frame changes everywhere.
  const TBitmap one = MakePicture(32, 24, [](int x, int y) { return RGB(8 * x, 10 * y, 77); });
  const TBitmap two = MakePicture(32, 24, [](int x, int y) { return RGB(255 - 8 * x, 33, 10 * y); });
  const std::vector<TBitmap> pictures{one, two, one, two};
  const TEncoded encoded = Encode(pictures);
  const gif_test::TDecodedGif gif = ExpectGiflibShowsTheScreens(encoded);
  for (const auto& frame : gif.Frames) EXPECT_EQ(frame.Width * frame.Height, 32 * 24);
  for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_GT(Psnr(encoded.Screens[i], pictures[i]), 30);
}

TEST(BestQualityEncoder, OnePixelAndWidestFrames) {
  const TEncoded tiny =
      Encode({testing::OneColourPicture(1, 1, RGB(1, 2, 3)), testing::OneColourPicture(1, 1, RGB(4, 5, 6))});
  ExpectGiflibShowsTheScreens(tiny);
  EXPECT_EQ(tiny.Screens[1].GetPixel(0, 0), RGB(4, 5, 6));
  // The widest frame GIF allows, with more than 256 colours, as a change of one pixel.
  const TBitmap wide = MakePicture(65535, 1, [](int x, int) { return RGB(x & 255, (x >> 8) & 255, 9); });
  TBitmap changed = wide;
  changed.SetPixel(40000, 0, RGB(255, 255, 255));
  const TEncoded encoded = Encode({wide, changed});
  const gif_test::TDecodedGif gif = ExpectGiflibShowsTheScreens(encoded);
  ASSERT_EQ(gif.Frames.size(), 2u);
  EXPECT_EQ(gif.Width, 65535);
  EXPECT_LT(gif.Frames[1].Width, 65535);
  EXPECT_NE(encoded.Screens[1].GetPixel(40000, 0), encoded.Screens[0].GetPixel(40000, 0));
}

TEST(BestQualityEncoder, APaletteVideoDrawsEveryFrameFromTheGlobalTable) {
  // 8-bit pictures of one 200-colour palette: the palette seeds the global table, so frames
  // using colours the first frame lacked still need no table of their own.
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < 200; ++i) palette.push_back(TRGBQuad::FromColor(RGB(i, 255 - i, (7 * i) & 255)));
  std::vector<TBitmap> pictures;
  for (int f = 0; f < 3; ++f) {
    std::vector<std::uint8_t> indices(60 * 40);
    for (std::size_t p = 0; p < indices.size(); ++p) indices[p] = static_cast<std::uint8_t>((p / 7 + 60 * f) % 200);
    pictures.push_back(gif_test::IndexedBitmap(60, 40, palette, indices));
  }
  TGIFImage document;
  TBestQualityEncoder encoder;
  for (const TBitmap& picture : pictures) encoder.AddFrame(document, picture, 4);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(document.Images()[i]->ColorMap().Count(), 0) << "frame " << i;
  TBitmap expected(60, 40);
  expected.Draw(0, 0, pictures[2]);
  EXPECT_TRUE(Shows(encoder.Screen(), expected));
}

TEST(BestQualityEncoder, ASmallChangeGetsASmallTableOfItsOwn) {
  // Frame 0 has 100 colours (the global table); frame 1 redraws a block in two of them: its
  // rectangle needs 2 colours and transparency, so a local table of 3 (written as 4)
  // codes it with 2 bits instead of 8.
  const TBitmap first = MakePicture(40, 30, [](int x, int y) { return RGB(10 * (x % 10), 20 * (y % 10), 7); });
  TBitmap second = first;
  for (int y = 10; y < 20; ++y)
    for (int x = 10; x < 20; ++x) second.SetPixel(x, y, (x + y) % 2 ? RGB(0, 0, 7) : RGB(90, 180, 7));
  second.SetPixel(15, 15, first.GetPixel(15, 15));
  TGIFImage document;
  TBestQualityEncoder encoder;
  encoder.AddFrame(document, first, 4);
  encoder.AddFrame(document, second, 4);
  EXPECT_EQ(document.Images()[0]->ColorMap().Count(), 0);
  EXPECT_EQ(document.Images()[1]->ColorMap().Count(), 3);
  EXPECT_EQ(document.Images()[1]->Left(), 10);
  EXPECT_EQ(document.Images()[1]->Width(), 10);
  EXPECT_TRUE(Shows(encoder.Screen(), second));
}

TEST(BestQualityEncoder, ColoursChosenAPictureAheadGiveTheFramesOfAddFrame) {
  // Dithered frames keeping and rebuilding their palette, exact frames between them, and a
  // palette picture: the colours of each picture are chosen before the one before is added.
  std::vector<TBitmap> pictures = SlidingSquare(4);
  pictures.push_back(MakePicture(96, 64, [](int x, int y) { return RGB(60 * (x % 4), 80 * (y % 3), 9); }));
  pictures.push_back(MakePicture(96, 64, [](int x, int y) { return RGB(255 - 2 * y, 3 * x, 255 - 2 * x); }));
  // Close enough to keep the palette before it, then one that needs its own: what is kept
  // depends on the order the pictures are chosen in.
  pictures.push_back(MakePicture(96, 64, [](int x, int y) { return RGB(254 - 2 * y, 3 * x + 1, 255 - 2 * x); }));
  pictures.push_back(SlidingSquare(4)[1]);
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < 256; ++i) palette.push_back(TRGBQuad::FromColor(RGB(i, (3 * i) & 255, 255 - i)));
  std::vector<std::uint8_t> indices(96 * 64);
  for (std::size_t p = 0; p < indices.size(); ++p) indices[p] = static_cast<std::uint8_t>((p * 7 + p / 96) & 255);
  pictures.push_back(gif_test::IndexedBitmap(96, 64, palette, indices));
  pictures.push_back(SlidingSquare(4)[1]);

  TGIFImage whole;
  TBestQualityEncoder one;
  for (const TBitmap& picture : pictures) one.AddFrame(whole, picture, 4);

  TGIFImage staged;
  TBestQualityEncoder two;
  std::vector<TBitmap> pixels(pictures.size());
  std::vector<TFrameColors> colors(pictures.size());
  const auto choose = [&](std::size_t k) {
    two.Chooser().Choose(TBestQualityEncoder::TwentyFourBits(pictures[k], pixels[k]), colors[k]);
  };
  choose(0);
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    if (k + 1 < pictures.size()) choose(k + 1);
    const TBitmap& picture24 = pictures[k].PixelFormat() == TPixelFormat::pf24bit ? pictures[k] : pixels[k];
    EXPECT_EQ(two.AddChosen(staged, pictures[k], picture24, colors[k], 4), static_cast<int>(k));
  }
  EXPECT_GE(one.Quantizer().PalettesBuilt(), 2);
  EXPECT_EQ(two.Quantizer().PalettesBuilt(), one.Quantizer().PalettesBuilt());
  EXPECT_TRUE(gif_test::SaveToBytes(staged) == gif_test::SaveToBytes(whole));
  EXPECT_TRUE(Shows(two.Screen(), *one.Screen()));
}

TEST(BestQualityEncoder, AnEmptyPictureIsRefused) {
  TGIFImage document;
  TBestQualityEncoder encoder;
  EXPECT_THROW(encoder.AddFrame(document, TBitmap(), 4), GIFException);
  EXPECT_TRUE(document.Empty());
}

}  // namespace
}  // namespace clipvane
