// The "Transition effects" page's slots and settings driven like a user: the start state,
// pictures opened by dialog and by drag and drop, files that cannot be read, "Empty image",
// the colour panels, the duration text rule and the effect box's typed text.
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QUrl>
#include <fstream>

#include "runs/transitions/transition_clip.h"
#include "transitions_page_fixture.h"

namespace clipvane::testing {
namespace {

using enum TTransitionSlotId;

constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clLime = RGB(0, 255, 0);
constexpr TColor clBlue = RGB(0, 0, 255);

TEST_F(TransitionsPageTest, StartsIdleWithEmptyWhiteSlots) {
  EXPECT_TRUE(Page().ConvertButton->isEnabled());
  EXPECT_FALSE(Page().AbortButton->isEnabled());
  EXPECT_FALSE(Page().ClearGifButton->isEnabled());
  EXPECT_FALSE(Page().SaveButton->isEnabled());
  for (QWidget* enabled : std::initializer_list<QWidget*>{
           Page().EffectBox, Page().StepEdit, Page().DurationEdit, Page().SourceView, Page().DestinationView,
           Page().OpenSourceButton, Page().EmptySourceButton, Page().OpenDestinationButton,
           Page().EmptyDestinationButton, Page().SourceColorPanel, Page().DestinationColorPanel})
    EXPECT_TRUE(enabled->isEnabled());
  EXPECT_TRUE(Page().SourceSizeLabel->isHidden());
  EXPECT_TRUE(Page().DestinationSizeLabel->isHidden());
  EXPECT_EQ(TTransitionsPage::PanelColor(Page().SourceColorPanel), clWhite);
  EXPECT_EQ(TTransitionsPage::PanelColor(Page().DestinationColorPanel), clWhite);

  EXPECT_EQ(Page().EffectBox->count(), 24);
  EXPECT_EQ(Page().EffectBox->currentIndex(), 0);
  EXPECT_EQ(Page().EffectBox->currentText(), QStringLiteral("CrossDissolve"));
  EXPECT_EQ(Page().StepEdit->value(), 10);
  EXPECT_EQ(Page().StepEdit->minimum(), 1);
  EXPECT_EQ(Page().StepEdit->maximum(), 50);
  EXPECT_FALSE(Page().StepEdit->wrapping());
  EXPECT_EQ(Page().DurationEdit->text(), QStringLiteral("1000"));

  EXPECT_TRUE(State().SourceEmpty);
  EXPECT_TRUE(State().DestinationEmpty);
  EXPECT_EQ(State().TransitionDurationMs, 1000);
  for (TImageView* view : {Page().SourceView, Page().DestinationView}) {
    EXPECT_EQ(view->size(), QSize(200, 144));
    EXPECT_TRUE(view->Fit());
    EXPECT_TRUE(view->Centre());
    EXPECT_EQ(view->Bitmap().PixelFormat(), TPixelFormat::pf24bit);
  }
}

TEST_F(TransitionsPageTest, OpenImageLoadsPngAndJpegWithTheirSizes) {
  OpenInto(tsSource, Png("photo.png", 300, 200, RGB(200, 30, 40), RGB(0, 0, 255)));
  OpenInto(tsDestination, Jpeg("photo.JPG", 64, 48, RGB(20, 120, 220)));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();

  ASSERT_EQ(DialogFilters.size(), 2u);
  EXPECT_EQ(DialogFilters[0], QString::fromStdString(PictureFileFilter()));

  EXPECT_FALSE(Page().SourceSizeLabel->isHidden());
  EXPECT_EQ(Page().SourceSizeLabel->text(), QStringLiteral("Size: 300x200"));
  EXPECT_FALSE(Page().DestinationSizeLabel->isHidden());
  EXPECT_EQ(Page().DestinationSizeLabel->text(), QStringLiteral("Size: 64x48"));
  EXPECT_FALSE(State().SourceEmpty);
  EXPECT_FALSE(State().DestinationEmpty);

  const TBitmap& source = Page().SourceView->Bitmap();
  EXPECT_EQ(source.GetPixel(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(source.GetPixel(150, 100), RGB(200, 30, 40));
  // JPEG keeps the colour within a few steps.
  const TColor jpeg = Page().DestinationView->Bitmap().GetPixel(32, 24);
  EXPECT_NEAR(GetRValue(jpeg), 20, 4);
  EXPECT_NEAR(GetGValue(jpeg), 120, 4);
  EXPECT_NEAR(GetBValue(jpeg), 220, 4);
  // Fitted into 200 x 144: 300 x 200 at 66.67 % is 200 x 133, centred 5 pixels down.
  ShowPage();
  EXPECT_EQ(Page().SourceView->ShownRect(), QRect(0, 5, 200, 133));
}

TEST_F(TransitionsPageTest, CancelledDialogChangesNothing) {
  OpenInto(tsSource, "");
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_TRUE(State().SourceEmpty);
  EXPECT_TRUE(Page().SourceSizeLabel->isHidden());
  EXPECT_TRUE(Page().SourceView->Bitmap().Empty());
}

TEST_F(TransitionsPageTest, UnreadableFileShowsTheErrorAndKeepsTheSlot) {
  OpenInto(tsSource, Png("first.png", 40, 30, clRed, clRed));
  const TBitmap before = Page().SourceView->Bitmap();

  const std::string unknown = Folder.File("notes.xyz");
  std::ofstream(unknown) << "not a picture";
  OpenInto(tsSource, unknown);
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts[0], "Unsupported picture format: notes.xyz.");

  const std::string broken = Folder.File("broken.png");
  std::ofstream(broken) << "\x89PNG but nothing after";
  OpenInto(tsSource, broken);
  EXPECT_EQ(ErrorTexts.size(), 2u);

  EXPECT_EQ(Page().SourceView->Bitmap(), before);
  EXPECT_EQ(Page().SourceSizeLabel->text(), QStringLiteral("Size: 40x30"));
  EXPECT_FALSE(Page().SourceSizeLabel->isHidden());
  EXPECT_FALSE(State().SourceEmpty);

  // Into an empty slot: it stays empty.
  OpenInto(tsDestination, unknown);
  EXPECT_TRUE(State().DestinationEmpty);
  EXPECT_TRUE(Page().DestinationSizeLabel->isHidden());
}

TEST_F(TransitionsPageTest, EmptyImageFillsTheViewAndHidesTheSize) {
  OpenInto(tsDestination, Png("pic.png", 50, 40, clRed, clBlue));
  Page().EmptyDestinationButton->click();
  EXPECT_TRUE(State().DestinationEmpty);
  EXPECT_TRUE(Page().DestinationSizeLabel->isHidden());
  EXPECT_EQ(Page().DestinationSizeLabel->text(), QStringLiteral("Size: "));
  const TBitmap& picture = Page().DestinationView->Bitmap();
  ASSERT_EQ(picture.Width(), 50);
  ASSERT_EQ(picture.Height(), 40);
  const TColor background = Page().DestinationView->BackgroundColor();
  EXPECT_EQ(picture.GetPixel(0, 0), background);
  EXPECT_EQ(picture.GetPixel(49, 39), background);
  EXPECT_TRUE(State().SourceEmpty);  // the other slot is untouched
}

TEST_F(TransitionsPageTest, ColourPanelDoubleClickOpensTheDialogAtItsColour) {
  ColorAnswer = RGB(10, 20, 30);
  DoubleClick(Page().SourceColorPanel);
  ASSERT_EQ(ColorDialogPresets.size(), 1u);
  EXPECT_EQ(ColorDialogPresets[0], clWhite);
  EXPECT_EQ(TTransitionsPage::PanelColor(Page().SourceColorPanel), RGB(10, 20, 30));
  EXPECT_EQ(TTransitionsPage::PanelColor(Page().DestinationColorPanel), clWhite);

  ColorAnswer.reset();  // Cancel
  DoubleClick(Page().SourceColorPanel);
  ASSERT_EQ(ColorDialogPresets.size(), 2u);
  EXPECT_EQ(ColorDialogPresets[1], RGB(10, 20, 30));
  EXPECT_EQ(TTransitionsPage::PanelColor(Page().SourceColorPanel), RGB(10, 20, 30));
}

TEST_F(TransitionsPageTest, DurationTextFollowsTheRuleAndStaysAsTyped) {
  const std::pair<const char*, int> cases[] = {{"abc", 1000},  {"7", 10},      {"99999", 5000},
                                               {"4999", 4999}, {"12.5", 1000}, {"", 1000}};
  for (const auto& [text, expected] : cases) {
    State().TransitionDurationMs = -1;
    Page().DurationEdit->setText(QString::fromLatin1(text));
    EXPECT_EQ(State().TransitionDurationMs, expected) << text;
    EXPECT_EQ(Page().DurationEdit->text(), QString::fromLatin1(text));
  }
}

TEST_F(TransitionsPageTest, TypedEffectTextNamesAnEntryOrNone) {
  Page().EffectBox->setEditText(QStringLiteral("centerzoom1"));
  EXPECT_EQ(Page().SelectedEffect(), TTransitionEffect::CenterZoom1);
  Page().EffectBox->setEditText(QStringLiteral("Sideways"));
  EXPECT_EQ(static_cast<int>(Page().SelectedEffect()), -1);
  Page().EffectBox->setCurrentIndex(21);
  EXPECT_EQ(Page().SelectedEffect(), TTransitionEffect::Center2);
  EXPECT_EQ(Page().EffectBox->count(), 24);
}

// A drag carrying the files, sent to the slot view's viewport where the window system sends it.
class TransitionsPageDropTest : public TransitionsPageTest {
 protected:
  bool Drop(TImageView* view, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &drop);
    return accepted;
  }
};

TEST_F(TransitionsPageDropTest, DroppedPictureOpensIntoThatSlot) {
  EXPECT_TRUE(Drop(Page().DestinationView, {Png("dropped.png", 120, 90, clLime, clLime)}));
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_FALSE(State().DestinationEmpty);
  EXPECT_TRUE(State().SourceEmpty);
  EXPECT_EQ(Page().DestinationSizeLabel->text(), QStringLiteral("Size: 120x90"));
  EXPECT_EQ(Page().DestinationView->Bitmap().GetPixel(60, 45), clLime);
  EXPECT_TRUE(Page().SourceView->Bitmap().Empty());
}

TEST_F(TransitionsPageDropTest, OtherDragsAreRefused) {
  const std::string text = Folder.File("readme.txt");
  std::ofstream(text) << "text";
  EXPECT_FALSE(Drop(Page().SourceView, {text}));
  EXPECT_FALSE(Drop(Page().SourceView, {Png("a.png", 4, 4, clRed, clRed), Png("b.png", 4, 4, clRed, clRed)}));
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_TRUE(State().SourceEmpty);
  EXPECT_TRUE(Page().SourceView->Bitmap().Empty());
}

}  // namespace
}  // namespace clipvane::testing
