// What a viewer shows while each frame of a GIF is on screen, against giflib's frames
// composed one over another: the same picture after every frame, lossless and lossy, forward
// and when shown again from the start.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gif/best_quality_encoder.h"
#include "gif/gif_shown_picture.h"
#include "gif_test_support.h"
#include "support/gif_giflib_decode.h"
#include "support/natural_picture.h"

namespace clipvane {
namespace {

TEST(GifShownPicture, ShowsWhatGiflibComposes) {
  for (const int level : {0, 60}) {
    SCOPED_TRACE(level);
    TGIFImage document;
    TBestQualityEncoder encoder({}, level);
    // A pan and then a still stretch, so later frames are changes with transparent pixels.
    for (int i = 0; i < 8; ++i) encoder.AddFrame(document, fixtures::NaturalPicture(70, 44, 1.3 * std::min(i, 5)), 4);
    const giflib_check::TGiflibGif gif = giflib_check::DecodeGif(gif_test::SaveToBytes(document));
    ASSERT_TRUE(gif.Ok) << gif.Error;
    const std::vector<TBitmap> composed = giflib_check::ComposedFrames(gif);
    ASSERT_EQ(composed.size(), 8u);
    TGifShownPicture viewer(document);
    for (const int index : {0, 1, 2, 3, 4, 5, 6, 7, 2, 3, 7}) {
      const TBitmap& shown = viewer.Show(index);
      ASSERT_EQ(shown.Width(), 70);
      ASSERT_EQ(shown.Height(), 44);
      int wrong = 0;
      for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 70; ++x)
          wrong += shown.GetPixel(x, y) != composed[static_cast<std::size_t>(index)].GetPixel(x, y);
      EXPECT_EQ(wrong, 0) << "frame " << index;
    }
  }
}

}  // namespace
}  // namespace clipvane
