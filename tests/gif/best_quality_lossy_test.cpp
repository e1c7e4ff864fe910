// "Best quality" with lossy LZW: what giflib composes after each frame is what the encoder
// says it shows (the frames after build on the lossy pixels), the file is smaller than the
// lossless one, and a frame encoder leaves the lossy image data as it is.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gif/best_quality_encoder.h"
#include "gif/gif_image_encoder.h"
#include "gif/lossy_lzw.h"
#include "gif_test_support.h"
#include "support/natural_picture.h"

namespace clipvane {
namespace {

struct TMade {
  std::vector<TBitmap> Screens;
  std::vector<std::uint8_t> Bytes;
};

std::vector<TBitmap> Pan(int frames) {
  std::vector<TBitmap> pictures;
  for (int i = 0; i < frames; ++i) pictures.push_back(fixtures::NaturalPicture(120, 72, 2.7 * i));
  return pictures;
}

TMade Make(const std::vector<TBitmap>& pictures, int level, TGIFFrameEncoder* frameEncoder = nullptr) {
  TMade made;
  TGIFImage document;
  TBestQualityEncoder encoder({}, level);
  for (const TBitmap& picture : pictures) {
    const int index = encoder.AddFrame(document, picture, 4);
    if (frameEncoder != nullptr) {
      frameEncoder->Submit(*document.Images()[index]);
      frameEncoder->Collect(true);
    }
    made.Screens.push_back(*encoder.Screen());
  }
  made.Bytes = gif_test::SaveToBytes(document);
  return made;
}

// giflib's frames composed as decoders compose "do not dispose" frames.
std::vector<TBitmap> Composed(const std::vector<std::uint8_t>& bytes) {
  gif_test::TDecodedGif gif;
  int error = 0;
  EXPECT_TRUE(gif_test::DecodeWithGiflib(bytes, gif, error)) << "giflib error " << error;
  std::vector<TBitmap> shown;
  TBitmap screen(std::max(gif.Width, 1), std::max(gif.Height, 1));
  for (const gif_test::TDecodedFrame& frame : gif.Frames) {
    const std::vector<TGIFColor>& colours = frame.LocalColors.empty() ? gif.GlobalColors : frame.LocalColors;
    for (int y = 0; y < frame.Height; ++y)
      for (int x = 0; x < frame.Width; ++x) {
        const int index = frame.Pixels[static_cast<std::size_t>(y) * frame.Width + x];
        if (index == frame.TransparentIndex) continue;
        const TGIFColor& c = colours.at(static_cast<std::size_t>(index));
        screen.SetPixel(frame.Left + x, frame.Top + y, RGB(c.Red, c.Green, c.Blue));
      }
    shown.push_back(screen);
  }
  return shown;
}

double Psnr(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < 3 * a.Width(); ++x) {
      const double d = double(a.ScanLine(y)[x]) - b.ScanLine(y)[x];
      sum += d * d;
    }
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * 3 * a.Width() * a.Height() / sum);
}

TEST(BestQualityLossy, GiflibShowsWhatTheEncoderSaysAndTheFileIsSmaller) {
  const std::vector<TBitmap> pictures = Pan(6);
  const TMade lossless = Make(pictures, 0);
  for (const int level : {30, 80}) {
    SCOPED_TRACE("level " + std::to_string(level));
    const TMade lossy = Make(pictures, level);
    const std::vector<TBitmap> shown = Composed(lossy.Bytes);
    ASSERT_EQ(shown.size(), pictures.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_TRUE(shown[i] == lossy.Screens[i]) << "frame " << i << " shows something else";
      // Close to the picture still: the lossy pixels stay near the colours they stand for.
      EXPECT_GT(Psnr(shown[i], pictures[i]), 24.0) << "frame " << i;
    }
    EXPECT_LT(lossy.Bytes.size(), lossless.Bytes.size());
  }
  EXPECT_LT(Make(pictures, 80).Bytes.size(), Make(pictures, 30).Bytes.size());
}

TEST(BestQualityLossy, AFrameEncoderKeepsTheLossyData) {
  const std::vector<TBitmap> pictures = Pan(4);
  const TMade alone = Make(pictures, 50);
  for (const bool secondThread : {false, true}) {
    TGIFFrameEncoder frameEncoder(secondThread);
    EXPECT_EQ(Make(pictures, 50, &frameEncoder).Bytes, alone.Bytes) << "second thread " << secondThread;
  }
}

}  // namespace
}  // namespace clipvane
