// The frames list's drawing and the preview window: thumbnails where the entry layout puts
// them and only for the entries shown, stepping with "Previous"/"Next", the zoom steps,
// reopening at 100 %, teal margins, the double-click.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_list_page.h"
#include "pages/frames/frames_page.h"
#include "ui/image_view.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

constexpr TColor kRed = RGB(255, 0, 0);
constexpr TColor kTeal = RGB(0, 128, 128);

bool IsRed(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(255, 0, 0); }

// One entry drawn by the delegate into a white picture of the entry's size.
QImage DrawEntry(const TBitmap& bitmap) {
  TVideoState state;
  state.ExtractedFrames.push_back(TExtractedFrame{"Frame 12", 12, &bitmap});
  TFramesListModel model(state);
  model.Sync();
  TFramesListDelegate delegate(model);
  QImage image(271, 74, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QPalette palette;
  delegate.lbAVIDrawItem(painter, 0, QRect(0, 0, 271, 74), palette.base(), Qt::black, QFont(), palette);
  return image;
}

TEST(FramesListDrawing, ScaledThumbnailFillsItsBoxOnly) {
  TBitmap frame(160, 120);
  frame.FillRect(TRect{0, 0, 160, 120}, kRed);
  const QImage image = DrawEntry(frame);
  // 93 x 70 at x = 1 + 2, y = 1 + 1.
  EXPECT_TRUE(IsRed(image, 3, 2));
  EXPECT_TRUE(IsRed(image, 3 + 92, 2 + 69));
  EXPECT_FALSE(IsRed(image, 3 + 93, 30));
  EXPECT_FALSE(IsRed(image, 2, 30));
  EXPECT_FALSE(IsRed(image, 30, 1));
  EXPECT_FALSE(IsRed(image, 30, 2 + 70));
}

// Drawn at 125 % where the list's corner lands between screen pixels, as it does in the main
// window: every side keeps its outline.
TEST(FramesListDrawing, TheOutlineStaysOnEverySideAtAFractionalScale) {
  QWidget page;
  page.resize(300, 260);
  TFramesListView list(&page);
  list.setGeometry(4, 4, 275, 223);
  page.show();
  QImage image(QSize(400, 340), QImage::Format_RGB32);
  image.setDevicePixelRatio(1.25);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.translate(0.4, 0.4);
    page.render(&painter);
  }
  const QRgb outline = list.OutlineColor().rgb();
  // The outline's pixels along each side, in screen pixels: the list spans x 5.5 to 349.25.
  const auto count = [&](int x0, int y0, int dx, int dy, int steps) {
    int found = 0;
    for (int i = 0; i < steps; ++i)
      for (int across = -1; across <= 1; ++across) {
        const int x = x0 + i * dx + across * dy, y = y0 + i * dy + across * dx;
        if (image.pixel(x, y) == outline) {
          ++found;
          break;
        }
      }
    return found;
  };
  EXPECT_GE(count(20, 6, 1, 0, 300), 290) << "top";
  EXPECT_GE(count(6, 20, 0, 1, 240), 230) << "left";
  EXPECT_GE(count(20, 283, 1, 0, 300), 290) << "bottom";
  EXPECT_GE(count(348, 20, 0, 1, 240), 230) << "right";
}

TEST(FramesListDrawing, SmallFrameIsDrawnUnscaledAndCentred) {
  TBitmap frame(40, 20);
  frame.FillRect(TRect{0, 0, 40, 20}, kRed);
  frame.SetPixel(39, 19, clWhite);
  const QImage image = DrawEntry(frame);
  const int top = 1 + (72 - 20) / 2;
  EXPECT_TRUE(IsRed(image, 2, top));
  EXPECT_FALSE(IsRed(image, 1, top));
  EXPECT_FALSE(IsRed(image, 2, top - 1));
  EXPECT_EQ(image.pixel(2 + 39, top + 19), qRgb(255, 255, 255));  // not stretched: the corner stays
  EXPECT_TRUE(IsRed(image, 2 + 38, top + 19));
}

TEST(FramesListDrawing, ThousandsOfEntriesMakeThumbnailsOnlyForThoseShown) {
  TVideoState state;
  std::vector<TBitmap> bitmaps(3000, TBitmap(320, 240));
  for (int n = 0; n < 3000; ++n) state.ExtractedFrames.push_back({"Frame " + std::to_string(n), n, &bitmaps[n]});
  QListView list;
  list.resize(275, 223);
  list.setUniformItemSizes(true);
  TFramesListModel model(state);
  TFramesListDelegate delegate(model);
  list.setModel(&model);
  list.setItemDelegate(&delegate);
  model.Sync();
  ASSERT_EQ(model.rowCount(), 3000);
  list.grab();
  EXPECT_GT(delegate.CachedThumbnails(), 0);
  EXPECT_LE(delegate.CachedThumbnails(), 4);
  // A re-made list drops them: their bitmaps are gone.
  QObject::connect(&model, &TFramesListModel::EntriesDropped, [&] { delegate.DropThumbnails(); });
  model.Reload([&] { state.ExtractedFrames.clear(); });
  EXPECT_EQ(delegate.CachedThumbnails(), 0);
}

class FramesPreviewTest : public WindowTest {
 protected:
  TFramesPage& Page() { return *Form().FramesPage; }
  TForm5& Preview() { return *Windows->Form5; }
  void Extract(int frames) {
    OpenAvi(Video("clip.avi", frames));
    Page().Button12->click();
    ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  }
};

TEST_F(FramesPreviewTest, FramesPreviewShowsTheFirstEntryAndStepsThroughTheList) {
  Extract(4);
  Page().Button16->click();
  TForm5& preview = Preview();
  ASSERT_TRUE(preview.isVisible());
  EXPECT_EQ(preview.windowTitle(), QStringLiteral("Frame 0"));
  EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: 100%"));
  EXPECT_FALSE(preview.SpeedButton1->isEnabled());
  EXPECT_TRUE(preview.SpeedButton2->isEnabled());
  EXPECT_EQ(fixtures::DecodeFrameNumber(preview.ImageView1->Bitmap()), 0);

  preview.SpeedButton2->click();
  EXPECT_EQ(preview.windowTitle(), QStringLiteral("Frame 1"));
  EXPECT_TRUE(preview.SpeedButton1->isEnabled());
  EXPECT_EQ(fixtures::DecodeFrameNumber(preview.ImageView1->Bitmap()), 1);
  preview.SpeedButton2->click();
  preview.SpeedButton2->click();
  EXPECT_EQ(preview.windowTitle(), QStringLiteral("Frame 3"));
  EXPECT_FALSE(preview.SpeedButton2->isEnabled());
  preview.SpeedButton1->click();
  EXPECT_EQ(State().PreviewIndex, 2);
  EXPECT_TRUE(preview.SpeedButton2->isEnabled());

  // Emptying the list leaves the window showing its copy, with nothing to step to.
  Page().Button14->click();
  EXPECT_TRUE(preview.isVisible());
  EXPECT_FALSE(preview.SpeedButton1->isEnabled());
  EXPECT_FALSE(preview.SpeedButton2->isEnabled());
  preview.SpeedButton1Click();
  EXPECT_EQ(State().PreviewIndex, 2);
  EXPECT_EQ(fixtures::DecodeFrameNumber(preview.ImageView1->Bitmap()), 2);
}

TEST_F(FramesPreviewTest, ZoomStepsFromTwentyFiveToSixteenHundredAndReopensAtHundred) {
  Extract(2);
  Page().Button16->click();
  TForm5& preview = Preview();
  for (int expected : {200, 400, 800, 1600}) {
    ASSERT_TRUE(preview.SpeedButton3->isEnabled());
    preview.SpeedButton3->click();
    EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: %1%").arg(expected));
    EXPECT_EQ(preview.ImageView1->Zoom(), expected);
  }
  EXPECT_FALSE(preview.SpeedButton3->isEnabled());
  preview.SpeedButton3Click();
  EXPECT_EQ(State().PreviewZoom, 1600);

  preview.SpeedButton5->click();
  EXPECT_FALSE(preview.isVisible());
  Page().Button16->click();
  EXPECT_TRUE(preview.isVisible());
  EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: 100%"));
  EXPECT_EQ(preview.ImageView1->Zoom(), 100);
  EXPECT_TRUE(preview.SpeedButton3->isEnabled());
  EXPECT_TRUE(preview.SpeedButton4->isEnabled());

  preview.SpeedButton4->click();
  EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: 50%"));
  preview.SpeedButton4->click();
  EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: 25%"));
  EXPECT_FALSE(preview.SpeedButton4->isEnabled());
  // Stepping to another entry goes back to 100 %.
  preview.SpeedButton2->click();
  EXPECT_EQ(preview.StatusPanel0->text(), QStringLiteral("Zoom: 100%"));
}

TEST_F(FramesPreviewTest, FrameSmallerThanTheSizeBoxesLeavesTealMargins) {
  Extract(2);
  Page().RadioButton11->click();
  Page().CheckBoxAspect->setChecked(false);
  Page().SpinEdit10->setValue(100);
  Page().SpinEdit11->setValue(80);
  Page().Button16->click();
  const TBitmap& shown = Preview().ImageView1->Bitmap();
  ASSERT_EQ(shown.Width(), 100);
  ASSERT_EQ(shown.Height(), 80);
  EXPECT_EQ(shown.GetPixel(80, 10), kTeal);
  EXPECT_EQ(shown.GetPixel(10, 70), kTeal);
  EXPECT_EQ(shown.GetPixel(99, 79), kTeal);
  EXPECT_EQ(shown.GetPixel(10, 10), State().ExtractedFrames[0].Bitmap->GetPixel(10, 10));
  EXPECT_EQ(Preview().ImageView1->BackgroundColor(), kTeal);

  // Boxes smaller than the frame do not cut it.
  Page().SpinEdit10->setValue(20);
  Page().SpinEdit11->setValue(10);
  Page().Button16->click();
  EXPECT_EQ(Preview().ImageView1->Bitmap().Width(), 64);
  EXPECT_EQ(Preview().ImageView1->Bitmap().Height(), 48);
}

TEST_F(FramesPreviewTest, DoubleClickShowsTheSelectedEntryOnly) {
  Extract(5);
  Page().lbAVIDblClick();
  EXPECT_FALSE(Preview().isVisible());
  Page().lbAVI->setCurrentIndex(Page().lbAVI->model()->index(3, 0));
  Page().lbAVIDblClick();
  ASSERT_TRUE(Preview().isVisible());
  EXPECT_EQ(Preview().windowTitle(), QStringLiteral("Frame 3"));
  EXPECT_EQ(State().PreviewIndex, 3);
  EXPECT_TRUE(Preview().SpeedButton1->isEnabled());
  EXPECT_TRUE(Preview().SpeedButton2->isEnabled());
}

}  // namespace
}  // namespace clipvane::testing
