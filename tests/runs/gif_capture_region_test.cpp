// The capture region: "Full window" and the pick's mouse transitions in the "Video" window.
#include <gtest/gtest.h>

#include "runs/gif/capture_region.h"

namespace clipvane {
namespace {

TVideoState OpenedVideo() {
  TVideoState state;
  state.FrameWidth = 320;
  state.FrameHeight = 240;
  state.DisplayRect = TRect{0, 0, 320, 240};
  SelectFullWindow(state);
  return state;
}

TEST(CapturePick, DragUpAndLeftGivesANormalisedRegion) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  EXPECT_TRUE(PickMouseDown(state, 150, 100));
  EXPECT_TRUE(state.PickDragging);
  PickMouseMove(state, 90, 60);
  const TPickEnd end = PickMouseUp(state, 50, 20);
  EXPECT_TRUE(end.Picked);
  EXPECT_EQ(state.CaptureRect, (TRect{50, 20, 150, 100}));
  EXPECT_EQ(state.CaptureWidth, 100);
  EXPECT_EQ(state.CaptureHeight, 80);
  EXPECT_FALSE(state.PickArmed);
  EXPECT_FALSE(state.PickDragging);
  EXPECT_EQ(CaptureWidthLabel(state.CaptureWidth, true), "Wigth = 100 pixels");
  EXPECT_EQ(CaptureHeightLabel(state.CaptureHeight), "Height = 80 pixels");
}

TEST(CapturePick, EachMoveErasesTheBandItDrewBefore) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseDown(state, 10, 10);
  TBandPaint paint = PickMouseMove(state, 30, 40);
  EXPECT_FALSE(paint.Erase.has_value());
  ASSERT_TRUE(paint.Draw.has_value());
  EXPECT_EQ(*paint.Draw, (TRect{10, 10, 30, 40}));
  paint = PickMouseMove(state, 5, 50);
  ASSERT_TRUE(paint.Erase.has_value());
  EXPECT_EQ(*paint.Erase, (TRect{10, 10, 30, 40}));
  EXPECT_EQ(*paint.Draw, (TRect{5, 10, 10, 50}));
  const TPickEnd end = PickMouseUp(state, 5, 50);
  ASSERT_TRUE(end.Erase.has_value());
  EXPECT_EQ(*end.Erase, (TRect{5, 10, 10, 50}));
}

TEST(CapturePick, AClickWithoutMovingPicksNothingWide) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseDown(state, 70, 30);
  const TPickEnd end = PickMouseUp(state, 70, 30);
  EXPECT_TRUE(end.Picked);
  EXPECT_FALSE(end.Erase.has_value());  // no band was drawn, so none is erased
  EXPECT_EQ(state.CaptureRect, (TRect{70, 30, 70, 30}));
  EXPECT_EQ(state.CaptureWidth, 0);
  EXPECT_EQ(state.CaptureHeight, 0);
}

TEST(CapturePick, MouseWhileNotArmedChangesNothing) {
  TVideoState state = OpenedVideo();
  EXPECT_FALSE(PickMouseDown(state, 5, 5));
  const TBandPaint paint = PickMouseMove(state, 50, 50);
  EXPECT_FALSE(paint.Erase || paint.Draw);
  EXPECT_FALSE(PickMouseUp(state, 60, 60).Picked);
  EXPECT_EQ(state.CaptureRect, (TRect{0, 0, 320, 240}));
  EXPECT_EQ(state.PickAnchorX, 0);
  EXPECT_EQ(state.PickCornerX, 320);
}

TEST(CapturePick, ActivatingTheWindowEndsTheDragButNotThePick) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseDown(state, 10, 10);
  PickWindowActivated(state);
  EXPECT_FALSE(PickMouseMove(state, 40, 40).Draw.has_value());
  // The next mouse-up still ends the pick, from the anchor of the mouse-down.
  EXPECT_TRUE(PickMouseUp(state, 40, 30).Picked);
  EXPECT_EQ(state.CaptureRect, (TRect{10, 10, 40, 30}));
}

TEST(CapturePick, MouseUpWithoutMouseDownUsesTheLastAnchor) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseUp(state, 100, 200);
  EXPECT_EQ(state.CaptureRect, (TRect{0, 0, 100, 200}));  // anchor (0, 0) from "Full window"
}

TEST(CapturePick, ARegionMayReachOutsideTheFrame) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseDown(state, 300, 200);
  PickMouseUp(state, 400, -30);
  EXPECT_EQ(state.CaptureRect, (TRect{300, -30, 400, 200}));
  EXPECT_EQ(state.CaptureWidth, 100);
  EXPECT_EQ(state.CaptureHeight, 230);
}

TEST(CaptureFullWindow, RestoresTheWholeFrameAfterAPick) {
  TVideoState state = OpenedVideo();
  ArmPick(state);
  PickMouseDown(state, 10, 10);
  PickMouseUp(state, 20, 20);
  SelectFullWindow(state);
  EXPECT_EQ(state.CaptureRect, (TRect{0, 0, 320, 240}));
  EXPECT_EQ(state.CaptureWidth, 320);
  EXPECT_EQ(state.CaptureHeight, 240);
  EXPECT_EQ(state.PickAnchorX, 0);
  EXPECT_EQ(state.PickAnchorY, 0);
  EXPECT_EQ(state.PickCornerX, 320);
  EXPECT_EQ(state.PickCornerY, 240);
  EXPECT_EQ(CaptureWidthLabel(320, false), "Width = 320 pixels");
}

}  // namespace
}  // namespace clipvane
