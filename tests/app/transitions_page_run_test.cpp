// "Convert" on the "Transition effects" page driven like a user: the clip in the preview
// window, the button states and cursor through a run, padding shown in the slots, "Abort",
// a change of effect during the run, "Clear GIF", "Save" and a run that fails.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <functional>
#include <iterator>

#include "control_states.h"
#include "transitions_page_fixture.h"
#include "ui/gif_save_form.h"
#include "ui/progress_bar.h"

namespace clipvane::testing {
namespace {

using enum TTransitionSlotId;

constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clGreen = RGB(0, 128, 0);
constexpr TColor clYellow = RGB(255, 255, 0);

class TransitionsPageRunTest : public TransitionsPageTest {
 protected:
  struct TButtons {
    bool Convert, Abort, ClearGif, Save, OpenAvi;
    friend bool operator==(const TButtons&, const TButtons&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TButtons& b) {
      return out << "convert " << b.Convert << " abort " << b.Abort << " clear " << b.ClearGif << " save " << b.Save
                 << " open " << b.OpenAvi;
    }
  };
  TButtons Buttons() {
    return {Page().ConvertButton->isEnabled(), Page().AbortButton->isEnabled(), Page().ClearGifButton->isEnabled(),
            Page().SaveButton->isEnabled(), Form().Button3->isEnabled()};
  }
  static constexpr TButtons kIdle{true, false, false, false, true};
  static constexpr TButtons kResultShown{false, false, true, true, false};

  // Presses "Convert"; `during` runs whenever the run processes messages, with the progress
  // bar's position (k + 1 while step k is on show).
  void Convert(const std::function<void(int position)>& during = {}) {
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (Page().Running() && during) during(Form().ProgressBar1->Position());
    });
    watch.start();
    Page().ConvertButton->click();
    watch.stop();
  }
};

TEST_F(TransitionsPageRunTest, EmptyWhiteAndBlackSlotsGiveElevenFramesWhiteToBlack) {
  SetColors(clWhite, clBlack);
  std::optional<TButtons> running;
  bool busyCursor = false;
  bool abortFocused = false;
  std::vector<int> stillGreys;
  Convert([&](int) {
    if (!running) {
      running = Buttons();
      busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
      abortFocused = Form().focusWidget() == Page().AbortButton;
    }
    const QImage& still = Preview().Image1->Picture();
    if (!still.isNull()) stillGreys.push_back(qRed(still.pixel(50, 50)));
  });
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();

  ASSERT_TRUE(running.has_value());
  EXPECT_EQ(*running, (TButtons{false, true, false, false, false}));
  EXPECT_TRUE(busyCursor);
  EXPECT_TRUE(abortFocused);
  // Each frame is shown still as it is added: the greys on show only darken.
  ASSERT_GE(stillGreys.size(), 2u);
  EXPECT_TRUE(std::is_sorted(stillGreys.rbegin(), stillGreys.rend()));
  EXPECT_LT(stillGreys.back(), stillGreys.front());

  EXPECT_EQ(Buttons(), kResultShown);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Form().ProgressBar1->Max(), 11);
  EXPECT_EQ(Form().ProgressBar1->Position(), 0);
  EXPECT_FALSE(Preview().isHidden());
  EXPECT_EQ(Preview().size(), QSize(100, 100));

  ASSERT_EQ(PreviewFrameCount(), 11);
  const int grey[] = {255, 230, 204, 178, 153, 128, 102, 76, 51, 26, 0};
  for (int k = 0; k < 11; ++k) {
    const TBitmap frame = PreviewFrame(k);
    ASSERT_EQ(frame.Width(), 100);
    ASSERT_EQ(frame.Height(), 100);
    EXPECT_EQ(frame.GetPixel(50, 50), RGB(grey[k], grey[k], grey[k])) << "frame " << k;
    const TGIFExtensionList& extensions = Preview().Document()->Images()[k]->Extensions();
    ASSERT_EQ(extensions.Count(), k == 0 ? 2 : 1);
    if (k == 0) {
      const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extensions[0]);
      ASSERT_NE(loop, nullptr);
      EXPECT_EQ(loop->LoopCount, 0);
    }
    const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extensions[k == 0 ? 1 : 0]);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Delay(), 10);
  }
  // The empty slots now show the 100 x 100 pictures of their colours; they still count as empty.
  EXPECT_EQ(Page().SourceView->Bitmap().Width(), 100);
  EXPECT_EQ(Page().SourceView->Bitmap().GetPixel(99, 99), clWhite);
  EXPECT_EQ(Page().DestinationView->Bitmap().GetPixel(0, 0), clBlack);
  EXPECT_TRUE(State().SourceEmpty);
  EXPECT_TRUE(State().DestinationEmpty);
}

TEST_F(TransitionsPageRunTest, DifferentSizesArePaddedWithTheSlotColoursInBothViews) {
  OpenInto(tsSource, Png("wide.png", 300, 200, clRed, clRed));
  OpenInto(tsDestination, Png("tall.png", 200, 300, clBlue, clBlue));
  SetColors(clGreen, clYellow);
  Page().StepEdit->setValue(2);
  std::optional<std::pair<int, int>> shownDuringRun;
  Convert([&](int) {
    if (!shownDuringRun)
      shownDuringRun = {Page().SourceView->Bitmap().Height(), Page().DestinationView->Bitmap().Width()};
  });
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();

  // The views show the padded pictures as soon as the run has made them.
  EXPECT_EQ(shownDuringRun, (std::pair{300, 300}));
  const TBitmap& source = Page().SourceView->Bitmap();
  const TBitmap& destination = Page().DestinationView->Bitmap();
  ASSERT_EQ(source.Width(), 300);
  ASSERT_EQ(source.Height(), 300);
  ASSERT_EQ(destination.Width(), 300);
  ASSERT_EQ(destination.Height(), 300);
  EXPECT_EQ(source.GetPixel(150, 199), clRed);
  EXPECT_EQ(source.GetPixel(150, 200), clGreen);
  EXPECT_EQ(source.GetPixel(299, 299), clGreen);
  EXPECT_EQ(destination.GetPixel(199, 150), clBlue);
  EXPECT_EQ(destination.GetPixel(200, 150), clYellow);
  EXPECT_EQ(destination.GetPixel(299, 0), clYellow);
  // A 300 x 300 picture fitted into 200 x 144 is shown 144 x 144, centred across.
  ShowPage();
  EXPECT_EQ(Page().SourceView->ShownRect(), QRect(28, 0, 144, 144));

  ASSERT_EQ(PreviewFrameCount(), 3);
  const TBitmap first = PreviewFrame(0);
  const TBitmap last = PreviewFrame(2);
  EXPECT_EQ(first.Width(), 300);
  EXPECT_EQ(first.Height(), 300);
  EXPECT_EQ(first.GetPixel(10, 250), clGreen);
  EXPECT_EQ(last.GetPixel(250, 10), clYellow);
  EXPECT_EQ(Preview().size(), QSize(300, 300));
  // The slot size labels keep the sizes of the pictures opened.
  EXPECT_EQ(Page().SourceSizeLabel->text(), QStringLiteral("Size: 300x200"));
}

TEST_F(TransitionsPageRunTest, AbortKeepsTheFramesBeforeTheStepOnShow) {
  SetColors(clWhite, clBlack);
  bool pressed = false;
  Convert([&](int position) {
    if (position == 4 && !pressed) {  // step 3 is on show
      pressed = true;
      Page().AbortButton->click();
      EXPECT_FALSE(Page().AbortButton->isEnabled());
    }
  });
  ASSERT_TRUE(pressed);
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_TRUE(State().ConvertAbort);
  EXPECT_EQ(PreviewFrameCount(), 3);
  EXPECT_FALSE(Preview().isHidden());
  EXPECT_EQ(Buttons(), kResultShown);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(TransitionsPageRunTest, AbortDuringTheFirstStepShowsAnEmptyClip) {
  Convert([&](int position) {
    if (position == 1 && Page().AbortButton->isEnabled()) Page().AbortButton->click();
  });
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_EQ(PreviewFrameCount(), 0);
  EXPECT_EQ(Buttons(), kResultShown);
  // The next run clears the flag again.
  Page().ClearGifButton->click();
  Convert();
  EXPECT_FALSE(State().ConvertAbort);
  EXPECT_EQ(PreviewFrameCount(), 11);
}

TEST_F(TransitionsPageRunTest, EffectChangedDuringTheRunAppliesFromTheNextStep) {
  SetColors(clWhite, clBlack);
  Page().StepEdit->setValue(4);
  bool changed = false;
  Convert([&](int position) {
    if (position == 2 && !changed) {  // step 1 is drawn, step 2 not yet
      changed = true;
      Page().EffectBox->setEditText(QStringLiteral("LeftRight"));
      // A changed step count or duration does not reach a run in progress.
      Page().StepEdit->setValue(50);
      Page().DurationEdit->setText(QStringLiteral("5000"));
    }
  });
  ASSERT_TRUE(changed);
  ASSERT_EQ(PreviewFrameCount(), 5);
  // CrossDissolve: every pixel alike.
  const TBitmap step1 = PreviewFrame(1);
  EXPECT_EQ(step1.GetPixel(5, 50), step1.GetPixel(95, 50));
  EXPECT_NE(step1.GetPixel(5, 50), clWhite);
  // LeftRight at step 2 of 4 draws a band of the destination over the frame it carries over:
  // black appears, while the far side keeps the grey of step 1.
  const TBitmap step2 = PreviewFrame(2);
  int black = 0;
  for (int x = 0; x < 100; ++x) black += step2.GetPixel(x, 50) == clBlack;
  EXPECT_GT(black, 0);
  EXPECT_LT(black, 100);
  EXPECT_EQ(step2.GetPixel(95, 50), step1.GetPixel(95, 50));
  const auto* control =
      dynamic_cast<const TGIFGraphicControlExtension*>(Preview().Document()->Images()[4]->Extensions()[0]);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->Delay(), 25);  // 1000 ms over 4 steps
}

TEST_F(TransitionsPageRunTest, UnknownEffectTextDrawsNothingOverTheFirstFrame) {
  SetColors(clWhite, clBlack);
  Page().StepEdit->setValue(2);
  Page().EffectBox->setEditText(QStringLiteral("NoSuchEffect"));
  Convert();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_EQ(PreviewFrameCount(), 3);
  // The output picture was never drawn: all three frames are the same.
  EXPECT_EQ(PreviewFrame(0), PreviewFrame(2));
}

TEST_F(TransitionsPageRunTest, ClearGifHidesThePreviewAndKeepsItsClip) {
  Convert();
  Page().ClearGifButton->click();
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_TRUE(Preview().isHidden());
  EXPECT_EQ(PreviewFrameCount(), 11);
}

TEST_F(TransitionsPageRunTest, SaveWritesThePreviewedClip) {
  const std::string path = Folder.File("clip.gif");
  QString offered;
  SetGifSaveDialog([&](QWidget*, const QString& defaultName) {
    offered = defaultName;
    return QString::fromStdString(path);
  });
  Page().StepEdit->setValue(3);
  Convert();
  Page().SaveButton->click();
  ASSERT_TRUE(WaitForGifSaves());
  SetGifSaveDialog({});
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(offered, QStringLiteral("transition.gif"));

  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_GE(bytes.size(), 13u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(static_cast<unsigned char>(bytes[6]) | static_cast<unsigned char>(bytes[7]) << 8, 100);
  EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 0x3B);  // trailer
}

TEST_F(TransitionsPageRunTest, FailedRunLeavesThePageIdle) {
  // A slot counted as holding a picture while its picture has no size: nothing to blend.
  State().SourceEmpty = false;
  const std::vector<std::string> before = ControlStates(*Windows->Form1);
  Convert();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts[0], "The transition pictures are empty.");
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Preview().isHidden());
  EXPECT_TRUE(Page().OpenSourceButton->isEnabled());
  ExpectSameControls(before, ControlStates(*Windows->Form1));
}

TEST_F(TransitionsPageRunTest, BestQualityIsOffAtStartAndKeepsEveryStepOnTheExactTimeLine) {
  QCheckBox* best = Page().CheckBoxBest;
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->text(), QStringLiteral("Best quality"));
  EXPECT_FALSE(best->isChecked());
  ExpectCoversNoSibling(*best);

  SetColors(clWhite, clBlack);
  Page().StepEdit->setValue(3);
  best->setChecked(true);
  Convert();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  const TGIFImage* document = Preview().Document();
  ASSERT_NE(document, nullptr);
  ASSERT_EQ(document->Images().Count(), 4);
  // A second over 3 steps: the frames start at 0, 33, 67 and 100 hundredths.
  const int delays[] = {33, 34, 33, 33};
  for (int k = 0; k < 4; ++k) {
    const auto* control = document->Images()[k]->GraphicControlExtension();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Delay(), delays[k]) << "frame " << k;
    EXPECT_EQ(control->Disposal(), dmNoDisposal);
  }
}

}  // namespace
}  // namespace clipvane::testing
