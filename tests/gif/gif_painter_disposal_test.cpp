// The picture after each frame: disposal none, restore to background (behind the GIF, or
// the backdrop colour), restore to previous, transparent pixels, clear on repeat, and frames
// scaled into a larger target.
#include <gtest/gtest.h>

#include <vector>

#include "gif_painter_test_fakes.h"

namespace clipvane {
namespace {

using painter_test::AddFrameAt;
using painter_test::AddLoopAt;
using painter_test::clBlue;
using painter_test::clGreen;
using painter_test::clGrey;
using painter_test::clRed;
using painter_test::clYellow;
using painter_test::TPlayer;

// Plays inline on a grey 4 x 4 surface and keeps the composite picture after every frame.
struct TDisposalPlayer : TPlayer {
  TDisposalPlayer() : TPlayer(false) {
    surface = TBitmap(4, 4, TPixelFormat::pf24bit);
    surface.FillRect(TRect{0, 0, 4, 4}, clGrey);
    image.OnAfterPaint = [this](TGIFPainter*) {
      const TBitmap* shown = (image.PaintOptions & poPaintDirect) != 0 ? &surface : image.CompositeBitmap();
      ASSERT_NE(shown, nullptr);
      After.push_back(*shown);
    };
  }
  std::vector<TBitmap> After;
};

// Frame 0: the whole 4 x 4 screen red. Frame 1: green 2 x 2 at (1, 1) with the disposal under
// test. Frame 2: blue 1 x 1 at (0, 0).
void BuildThreeFrames(TGIFImage& image, int secondDisposal) {
  AddFrameAt(image, 0, 0, 4, 4, {clRed}, 5, dmNone);
  AddFrameAt(image, 1, 1, 2, 2, {clGreen}, 5, secondDisposal);
  AddFrameAt(image, 0, 0, 1, 1, {clBlue}, 5, dmNone);
}

TEST(GifPainterDisposal, NoneLeavesTheFrameInPlace) {
  TDisposalPlayer player;
  BuildThreeFrames(player.image, dmNone);
  player.Draw();
  ASSERT_EQ(player.After.size(), 3u);
  EXPECT_EQ(player.After[0].GetPixel(1, 1), clRed);
  EXPECT_EQ(player.After[1].GetPixel(1, 1), clGreen);
  EXPECT_EQ(player.After[1].GetPixel(2, 2), clGreen);
  EXPECT_EQ(player.After[1].GetPixel(3, 3), clRed);
  EXPECT_EQ(player.After[2].GetPixel(0, 0), clBlue);
  EXPECT_EQ(player.After[2].GetPixel(2, 2), clGreen);
  // The draw ends by copying the last picture.
  EXPECT_EQ(player.surface.GetPixel(0, 0), clBlue);
  EXPECT_EQ(player.surface.GetPixel(1, 2), clGreen);
}

TEST(GifPainterDisposal, RestoreToBackgroundShowsWhatIsBehindTheGif) {
  TDisposalPlayer player;
  BuildThreeFrames(player.image, dmBackground);
  player.Draw();
  ASSERT_EQ(player.After.size(), 3u);
  EXPECT_EQ(player.After[1].GetPixel(1, 1), clGreen);
  EXPECT_EQ(player.After[1].GetPixel(2, 2), clGreen);
  // Frame 1's area went back to the surface's grey before frame 2 was shown.
  EXPECT_EQ(player.After[2].GetPixel(1, 1), clGrey);
  EXPECT_EQ(player.After[2].GetPixel(2, 2), clGrey);
  EXPECT_EQ(player.After[2].GetPixel(3, 3), clRed);
  EXPECT_EQ(player.After[2].GetPixel(0, 0), clBlue);
  EXPECT_EQ(player.After[2].GetPixel(3, 1), clRed);
}

TEST(GifPainterDisposal, RestoreToBackgroundWithoutTransparencyFillsTheBackdrop) {
  TDisposalPlayer player;
  player.image.PaintOptions = static_cast<std::uint16_t>(player.image.PaintOptions & ~poTransparent);
  player.image.BackdropColor = clYellow;
  BuildThreeFrames(player.image, dmBackground);
  player.Draw();
  ASSERT_EQ(player.After.size(), 3u);
  EXPECT_EQ(player.After[2].GetPixel(1, 1), clYellow);
  EXPECT_EQ(player.After[2].GetPixel(2, 2), clYellow);
  EXPECT_EQ(player.After[2].GetPixel(3, 2), clRed);
}

TEST(GifPainterDisposal, BackgroundColourComesFromTheGlobalTableWithoutABackdrop) {
  TDisposalPlayer player;
  player.image.PaintOptions = static_cast<std::uint16_t>(player.image.PaintOptions & ~poTransparent);
  BuildThreeFrames(player.image, dmBackground);
  player.image.GlobalColorMap().Add(clBlack);
  player.image.GlobalColorMap().Add(clYellow);
  player.image.Header().Descriptor().BackgroundColorIndex = 1;
  player.Draw();
  ASSERT_EQ(player.After.size(), 3u);
  EXPECT_EQ(player.After[2].GetPixel(1, 1), clYellow);
}

TEST(GifPainterDisposal, RestoreToPreviousBringsBackTheFormerPicture) {
  TDisposalPlayer player;
  BuildThreeFrames(player.image, dmPrevious);
  player.Draw();
  ASSERT_EQ(player.After.size(), 3u);
  EXPECT_EQ(player.After[1].GetPixel(1, 1), clGreen);
  EXPECT_EQ(player.After[1].GetPixel(2, 2), clGreen);
  EXPECT_EQ(player.After[2].GetPixel(1, 1), clRed);
  EXPECT_EQ(player.After[2].GetPixel(2, 2), clRed);
  EXPECT_EQ(player.After[2].GetPixel(0, 0), clBlue);
}

TEST(GifPainterDisposal, RestoreToPreviousAfterABackgroundFrame) {
  TDisposalPlayer player;
  AddFrameAt(player.image, 0, 0, 4, 4, {clRed}, 5, dmNone);
  AddFrameAt(player.image, 1, 1, 2, 2, {clGreen}, 5, dmBackground);
  AddFrameAt(player.image, 0, 0, 1, 1, {clBlue}, 5, dmPrevious);
  AddFrameAt(player.image, 3, 3, 1, 1, {clYellow}, 5, dmNone);
  player.Draw();
  ASSERT_EQ(player.After.size(), 4u);
  EXPECT_EQ(player.After[2].GetPixel(0, 0), clBlue);
  EXPECT_EQ(player.After[2].GetPixel(1, 1), clGrey);
  // Frame 2 went to the picture only, never into what frame 3 is drawn over.
  EXPECT_EQ(player.After[3].GetPixel(0, 0), clRed);
  EXPECT_EQ(player.After[3].GetPixel(1, 1), clGrey);
  EXPECT_EQ(player.After[3].GetPixel(3, 3), clYellow);
}

TEST(GifPainterDisposal, TransparentPixelsLeaveWhatIsUnderneath) {
  for (bool disposalAware : {false, true}) {
    TDisposalPlayer player;
    AddFrameAt(player.image, 0, 0, 4, 4, {clRed}, 5, dmNone);
    TGIFSubImage& frame = AddFrameAt(player.image, 1, 1, 2, 2, {clGreen, clBlack}, 5,
                                     disposalAware ? dmBackground : dmNone, {0, 1, 1, 0});
    frame.GraphicControlExtension()->SetTransparent(true);
    frame.GraphicControlExtension()->SetTransparentColorIndex(1);
    AddFrameAt(player.image, 0, 0, 1, 1, {clBlue}, 5, dmNone);
    player.Draw();
    ASSERT_EQ(player.After.size(), 3u);
    EXPECT_EQ(player.After[1].GetPixel(1, 1), clGreen) << disposalAware;
    EXPECT_EQ(player.After[1].GetPixel(2, 1), clRed) << disposalAware;
    EXPECT_EQ(player.After[1].GetPixel(1, 2), clRed) << disposalAware;
    EXPECT_EQ(player.After[1].GetPixel(2, 2), clGreen) << disposalAware;
  }
}

TEST(GifPainterDisposal, WithoutTransparencyTheTransparentIndexIsPainted) {
  TDisposalPlayer player;
  player.image.PaintOptions = static_cast<std::uint16_t>(player.image.PaintOptions & ~poTransparent);
  AddFrameAt(player.image, 0, 0, 4, 4, {clRed}, 5, dmNone);
  TGIFSubImage& frame = AddFrameAt(player.image, 1, 1, 2, 2, {clGreen, clBlack}, 5, dmNone, {0, 1, 1, 0});
  frame.GraphicControlExtension()->SetTransparent(true);
  frame.GraphicControlExtension()->SetTransparentColorIndex(1);
  player.Draw();
  ASSERT_EQ(player.After.size(), 2u);
  EXPECT_EQ(player.After[1].GetPixel(2, 1), clBlack);
}

TEST(GifPainterDisposal, ClearOnRepeatStartsEachPassFromTheBackground) {
  for (bool clear : {false, true}) {
    TDisposalPlayer player;
    if (clear) player.image.PaintOptions |= poClearOnRepeat;
    // Frame 0 is transparent at (0, 0); frame 1 paints that pixel green.
    TGIFSubImage& first = AddFrameAt(player.image, 0, 0, 2, 2, {clRed, clBlack}, 5, dmNone, {1, 0, 0, 0});
    first.GraphicControlExtension()->SetTransparent(true);
    first.GraphicControlExtension()->SetTransparentColorIndex(1);
    AddFrameAt(player.image, 0, 0, 1, 1, {clGreen}, 5, dmNone);
    AddLoopAt(player.image, 0, 2);
    player.Draw();
    ASSERT_EQ(player.After.size(), 4u);
    EXPECT_EQ(player.After[0].GetPixel(0, 0), clGrey) << clear;
    EXPECT_EQ(player.After[2].GetPixel(0, 0), clear ? clGrey : clGreen) << clear;
    EXPECT_EQ(player.After[2].GetPixel(1, 1), clRed) << clear;
  }
}

TEST(GifPainterDisposal, FramesAreScaledIntoALargerTarget) {
  TDisposalPlayer player;
  player.image.PaintOptions |= poPaintDirect;
  BuildThreeFrames(player.image, dmPrevious);
  player.surface = TBitmap(10, 10, TPixelFormat::pf24bit);
  player.surface.FillRect(TRect{0, 0, 10, 10}, clGrey);
  player.image.Draw(player.surface, TRect{1, 1, 9, 9});
  ASSERT_EQ(player.After.size(), 3u);
  // The 4 x 4 screen fills (1, 1)-(9, 9): frame 1's (1, 1)-(3, 3) is (3, 3)-(7, 7).
  const TBitmap& second = player.After[1];
  EXPECT_EQ(second.GetPixel(0, 0), clGrey);
  EXPECT_EQ(second.GetPixel(2, 2), clRed);
  EXPECT_EQ(second.GetPixel(3, 3), clGreen);
  EXPECT_EQ(second.GetPixel(6, 6), clGreen);
  EXPECT_EQ(second.GetPixel(7, 7), clRed);
  EXPECT_EQ(second.GetPixel(9, 9), clGrey);
  const TBitmap& third = player.After[2];
  EXPECT_EQ(third.GetPixel(3, 3), clRed);
  EXPECT_EQ(third.GetPixel(1, 1), clBlue);
  EXPECT_EQ(third.GetPixel(2, 2), clBlue);
  EXPECT_EQ(third.GetPixel(3, 2), clRed);
  EXPECT_EQ(player.image.CompositeBitmap(), nullptr);
}

// A document whose frames hold only their encoded data plays picture for picture as its
// decoded twin, through both passes of its loop (the frames are decoded again for the second,
// the document keeping only two pictures), with every disposal and transparency.
TEST(GifPainterDisposal, EncodedFramesPlayAsTheirDecodedTwin) {
  TDisposalPlayer twin, encoded;
  for (TDisposalPlayer* player : {&twin, &encoded}) {
    TGIFImage& image = player->image;
    AddFrameAt(image, 0, 0, 4, 4, {clRed, clYellow}, 5, dmNone, {0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1, 1, 0, 0});
    AddFrameAt(image, 1, 1, 2, 2, {clGreen, clBlue}, 5, dmBackground, {0, 1, 1, 0});
    AddFrameAt(image, 0, 1, 3, 2, {clBlue, clGreen, clRed}, 5, dmPrevious, {2, 1, 0, 1, 2, 0});
    image.Images()[2]->GraphicControlExtension()->SetTransparent(true);
    image.Images()[2]->GraphicControlExtension()->SetTransparentColorIndex(1);
    AddFrameAt(image, 2, 0, 2, 3, {clYellow, clGrey}, 5, dmNone, {1, 0, 0, 1, 1, 1});
    AddLoopAt(image, 0, 2);
  }
  for (const auto& frame : encoded.image.Images()) ASSERT_TRUE(frame->Encode());
  twin.Draw();
  encoded.Draw();
  ASSERT_EQ(twin.After.size(), 8u);
  ASSERT_EQ(encoded.After.size(), twin.After.size());
  for (std::size_t i = 0; i < twin.After.size(); ++i)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(encoded.After[i].GetPixel(x, y), twin.After[i].GetPixel(x, y)) << i;
  int kept = 0;
  for (const auto& frame : encoded.image.Images()) kept += frame->Bitmap() != nullptr ? 1 : 0;
  EXPECT_LE(kept, 2);
}

}  // namespace
}  // namespace clipvane
