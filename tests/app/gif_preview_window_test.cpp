// The "GIF preview" window: a still picture shown at once, a document animated through the
// painter with its work handed to the GUI thread, stopping on "Clear GIF" and on a new
// document, and no painter left when the window goes.
#include <QApplication>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "app/window_fixture.h"
#include "gif/gif_extensions.h"
#include "pages/gif/gif_page.h"
#include "ui/gif_preview_window.h"

namespace clipvane::testing {
namespace {

// A looping document of `colours.size()` frames of 16 x 8, each filled with one colour and
// shown for 3 hundredths.
std::unique_ptr<TGIFImage> ColourDocument(const std::vector<TColor>& colours) {
  auto document = std::make_unique<TGIFImage>();
  for (TColor colour : colours) {
    TBitmap picture(16, 8, TPixelFormat::pf8bit);
    picture.SetPalette(
        {TRGBQuad{static_cast<std::uint8_t>(GetBValue(colour)), static_cast<std::uint8_t>(GetGValue(colour)),
                  static_cast<std::uint8_t>(GetRValue(colour)), 0},
         TRGBQuad{0, 0, 0, 0}});
    const int index = document->AddFrame(picture);
    TGIFSubImage& frame = *document->Images()[index];
    if (index == 0) {
      auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
      loop->LoopCount = 0;
      frame.Extensions().Add(std::move(loop));
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
    control->SetDelay(3);
    frame.Extensions().Add(std::move(control));
  }
  return document;
}

QRgb Shown(TForm3& window) {
  const QImage& picture = window.Image1->Picture();
  return picture.isNull() ? 0 : picture.pixel(2, 2) & 0xFFFFFF;
}

// The threads of this process named `name` that are not on their way out: a thread that
// was joined may stay listed for a moment, but the system marks it as exiting (PF_EXITING in
// the flags, the ninth field of its stat line) before the join returns.
int LiveThreadsNamed(const std::string& name) {
  constexpr unsigned long kExiting = 0x4;
  int count = 0;
  std::error_code ignored;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored)) {
    std::ifstream comm(task.path() / "comm");
    std::string text;
    if (!std::getline(comm, text) || text != name) continue;
    std::ifstream stat(task.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;  // gone meanwhile
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    unsigned long flags = 0;
    for (int i = 3; i <= 9 && fields >> field; ++i)
      if (i == 9) flags = std::stoul(field);
    if ((flags & kExiting) == 0) ++count;
  }
  return count;
}

class GifPreviewTest : public WindowTest {
 protected:
  TForm3& Preview() { return *Windows->Form3; }
};

TEST_F(GifPreviewTest, ShowStillPaintsAtOnce) {
  TBitmap picture(20, 10);
  picture.FillRect(TRect{0, 0, 20, 10}, RGB(10, 200, 30));
  Preview().ShowStill(picture);
  EXPECT_EQ(Shown(Preview()), qRgb(10, 200, 30) & 0xFFFFFF);
}

TEST_F(GifPreviewTest, TheDocumentAnimatesThroughTheGuiThread) {
  Preview().SetClientSize(16, 8);
  Preview().SetDocument(ColourDocument({RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}));
  Preview().show();
  std::set<QRgb> seen;
  EXPECT_TRUE(ProcessUntil([&] {
    seen.insert(Shown(Preview()));
    return seen.count(0xFF0000) && seen.count(0x00FF00) && seen.count(0x0000FF);
  }));
  ASSERT_NE(Preview().Document(), nullptr);
  EXPECT_EQ(Preview().PainterCount(), 1);

  Preview().StopAnimation();
  EXPECT_EQ(Preview().PainterCount(), 0);
  EXPECT_NE(Shown(Preview()), 0u);  // the last frame stays
}

TEST_F(GifPreviewTest, ANewDocumentStopsTheOldOneFirst) {
  Preview().SetClientSize(16, 8);
  Preview().SetDocument(ColourDocument({RGB(255, 0, 0), RGB(0, 255, 0)}));
  Preview().show();
  ASSERT_TRUE(ProcessUntil([&] { return Preview().PainterCount() == 1; }));
  Preview().SetDocument(ColourDocument({RGB(0, 0, 255), RGB(255, 255, 0)}));
  std::set<QRgb> seen;
  EXPECT_TRUE(ProcessUntil([&] {
    seen.insert(Shown(Preview()));
    return seen.count(0x0000FF) && seen.count(0xFFFF00);
  }));
}

TEST_F(GifPreviewTest, ClosingTheProgramWhileItAnimatesLeavesNoPainter) {
  Preview().SetClientSize(16, 8);
  Preview().SetDocument(ColourDocument({RGB(255, 0, 0), RGB(0, 255, 0)}));
  Preview().show();
  ASSERT_TRUE(ProcessUntil([&] { return LiveThreadsNamed("gif-painter") == 1; }));
  Windows.reset();  // must end the painter thread before the document and the window go
  EXPECT_EQ(LiveThreadsNamed("gif-painter"), 0);
}

TEST_F(GifPreviewTest, ConvertAnimatesTheGifAndClearStopsIt) {
  OpenAvi(Video("clip.avi", 12));
  TGifPage& page = *Form().GifPage;
  page.Button5->click();
  ASSERT_TRUE(Preview().isVisible());
  std::set<QRgb> seen;
  EXPECT_TRUE(ProcessUntil([&] {
    seen.insert(Preview().Image1->Picture().isNull() ? 0 : Preview().Image1->Picture().pixel(0, 0));
    return seen.size() >= 3;
  }));
  EXPECT_EQ(Preview().PainterCount(), 1);
  page.Button4->click();
  EXPECT_FALSE(Preview().isVisible());
  EXPECT_EQ(Preview().PainterCount(), 0);
}

}  // namespace
}  // namespace clipvane::testing
