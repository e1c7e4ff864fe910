// The octree reduction with its 5-5-5 colour cells keeps a frame's colours exactly only while
// no two of them share a cell: white beside (255, 249, 249), as a transition from white to a
// pale picture has, becomes (255, 249, 249). The octree lists that colour first and the lookup
// gives each cell the first palette entry in it; the program has always reduced so, and the
// GIFs it made stay as they were.
#include <gtest/gtest.h>

#include "gif/palette_reduction.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

TEST(ReduceBitmapOctreeSystem, WhiteTakesTheNearWhiteListedBeforeItInItsCell) {
  constexpr TColor kNearWhite = RGB(255, 249, 249);
  // 26 colours: white, the near white, and 24 darker ones, each in its own band.
  const TBitmap picture = MakePicture(26, 4, [](int x, int) {
    if (x == 0) return clWhite;
    if (x == 1) return kNearWhite;
    return RGB(8 * x, 200 - 5 * x, 90 + x);
  });
  for (const TDitherMode dither : {ditherNone, ditherFloydSteinberg}) {
    SCOPED_TRACE(static_cast<int>(dither));
    int entries = 0;
    const TBitmap reduced = ReduceBitmap(picture, reduceOctreeSystem, dither, {}, 8, &entries);
    // The palette holds both colours exactly, the near white first (its green and blue differ
    // from white's first in the bit of value 4, where it takes the lower child).
    int whiteEntry = -1, nearWhiteEntry = -1;
    for (int i = 10; i < 246; ++i) {
      if (reduced.Palette()[static_cast<std::size_t>(i)].ToColor() == clWhite && whiteEntry < 0) whiteEntry = i;
      if (reduced.Palette()[static_cast<std::size_t>(i)].ToColor() == kNearWhite && nearWhiteEntry < 0)
        nearWhiteEntry = i;
    }
    ASSERT_GE(whiteEntry, 10);
    ASSERT_GE(nearWhiteEntry, 10);
    EXPECT_LT(nearWhiteEntry, whiteEntry);
    // Yet every white pixel gets the near white's entry: it answers for the whole cell.
    for (int y = 0; y < 4; ++y) {
      EXPECT_EQ(reduced.ScanLine(y)[0], nearWhiteEntry) << y;
      EXPECT_EQ(reduced.ScanLine(y)[1], nearWhiteEntry) << y;
    }
  }
}

}  // namespace
}  // namespace clipvane
