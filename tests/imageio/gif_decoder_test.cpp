// GIF pictures: the first frame of files written by our GIF writer, transparency on the
// background, a frame inside a larger screen, and damaged files refused.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "imageio/gif_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

constexpr TColor kBackground = RGB(0, 0, 255);

// 3 x 2 with four colours; index = (x + y) % 4.
TBitmap Indexed(int shift = 0) {
  TBitmap bitmap(3, 2, TPixelFormat::pf8bit);
  bitmap.SetPalette({TRGBQuad::FromColor(RGB(255, 0, 0)), TRGBQuad::FromColor(RGB(0, 255, 0)),
                     TRGBQuad::FromColor(RGB(9, 9, 9)), TRGBQuad::FromColor(clWhite)});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>((x + y + shift) % 4);
  return bitmap;
}

TBytes Save(TGIFImage& document) {
  TGIFMemoryStream out;
  document.SaveToStream(out);
  return out.TakeBytes();
}

TBytes TwoFrameGif() {
  TGIFImage document;
  document.AddFrame(Indexed());
  document.AddFrame(Indexed(1));
  return Save(document);
}

TEST(GifFirstFrame, PixelsAndTableOfTheFirstFrame) {
  const TBitmap bitmap = DecodeGif(TwoFrameGif(), kBackground);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  const TBitmap expected = Indexed();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap.GetPixel(x, y), expected.GetPixel(x, y)) << x << "," << y;
  EXPECT_EQ(DecodePicture(TwoFrameGif(), "anim.GIF", kBackground), bitmap);
}

TEST(GifFirstFrame, TransparentPixelsTakeTheBackground) {
  TGIFImage document;
  TBitmap mask(3, 2, TPixelFormat::pf8bit);
  mask.ScanLine(0)[1] = 1;
  mask.ScanLine(1)[2] = 1;
  document.AddFrame(Indexed(), &mask);
  const TBitmap bitmap = DecodeGif(Save(document), kBackground);
  EXPECT_EQ(bitmap.GetPixel(1, 0), kBackground);
  EXPECT_EQ(bitmap.GetPixel(2, 1), kBackground);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.GetPixel(1, 1), RGB(9, 9, 9));
}

TEST(GifFirstFrame, FrameInsideALargerScreenSitsOnTheBackground) {
  TGIFImage document;
  document.AddFrame(Indexed());
  document.Images()[0]->SetLeft(2);
  document.Images()[0]->SetTop(1);
  const TBitmap bitmap = DecodeGif(Save(document), kBackground);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(bitmap.Width(), 5);
  ASSERT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.GetPixel(0, 0), kBackground);
  EXPECT_EQ(bitmap.GetPixel(1, 2), kBackground);
  EXPECT_EQ(bitmap.GetPixel(2, 1), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.GetPixel(4, 2), clWhite);  // frame pixel (2, 1): index 3
}

TEST(GifMalformed, AbsurdScreenAndMissingPicturesAreRefused) {
  TBytes wide = TwoFrameGif();
  wide[6] = 0x40;
  wide[7] = 0x9C;
  try {
    DecodeGif(wide, kBackground);
    FAIL();
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "GIF image is too large: 40000 x 2 pixels");
  }
  TBytes empty = TwoFrameGif();
  empty.resize(13 + 3 * 4);  // header, screen and global table only
  empty.push_back(0x3B);
  EXPECT_THROW(DecodeGif(empty, kBackground), EClipvaneError);
  EXPECT_THROW(DecodeGif(FromText("GIF89a"), kBackground), EClipvaneError);
}

TEST(GifMalformed, EveryTruncationIsRefused) {
  ExpectEveryTruncationRejected(TwoFrameGif(), [](const TBytes& d) { return DecodeGif(d, kBackground); });
}

TEST(GifMalformed, RandomDamageIsHandled) {
  ExpectMutationsHandled(
      TwoFrameGif(), [](const TBytes& d) { return DecodeGif(d, kBackground); }, 0x474946);
}

}  // namespace
}  // namespace clipvane
