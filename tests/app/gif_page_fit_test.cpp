// "Fit under [ ] MB" and the size estimate on the "AVI to animated GIF" page: off at start in
// free room, the estimate worked out in the background follows the controls and comes close
// to the GIF saved, a ticked box saves a GIF within the limit and leaves the sampling box as
// the user set it, and with the box off the GIF is the one the page has always made.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>
#include <filesystem>
#include <regex>
#include <string>

#include "app/window_fixture.h"
#include "pages/gif/gif_page.h"
#include "runs/gif/gif_frame_sample.h"
#include "runs/gif/gif_pipeline.h"
#include "support/avi_fixtures.h"
#include "ui/gif_save_form.h"
#include "video/frame_source.h"

namespace clipvane::testing {
namespace {

class GifPageFitTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    SetGifSaveDialog([this](QWidget*, const QString&) { return QString::fromStdString(Saved); });
    SetGifOverwriteQuestion([](const QString&) { return true; });
    fixtures::TFixtureAvi avi;
    avi.Width = 96;
    avi.Height = 64;
    avi.FrameCount = 60;
    avi.Picture = fixtures::TFixturePicture::fpPan;
    fixtures::WriteFixtureAvi(Pan, avi);
  }
  void TearDown() override {
    SetGifSaveDialog({});
    SetGifOverwriteQuestion({});
    WindowTest::TearDown();
  }

  TGifPage& Page() { return *Form().GifPage; }

  // The estimate once the background has worked it out, in bytes (0: none shown).
  double Estimate() {
    EXPECT_TRUE(ProcessUntil([this] { return !Page().Estimating(); }));
    const std::string text = Page().LabelEstimate->text().toStdString();
    std::smatch match;
    if (!std::regex_match(text, match, std::regex(R"(about ([0-9.]+) (bytes|KB|MB))"))) return 0;
    const double unit = match[2] == "MB" ? 1e6 : match[2] == "KB" ? 1e3 : 1;
    return std::stod(match[1]) * unit;
  }

  // Converts and saves; the size of the file written.
  std::uintmax_t ConvertAndSave() {
    if (Page().Button4->isEnabled()) Page().Button4->click();  // "Clear GIF" lets "Convert" run again
    Page().Button5->click();
    Page().Button6->click();
    EXPECT_TRUE(WaitForGifSaves());
    return std::filesystem::exists(Saved) ? std::filesystem::file_size(Saved) : 0;
  }

  std::string Pan = Folder.File("pan.avi");
  std::string Saved = Folder.File("saved.gif");
};

TEST_F(GifPageFitTest, OffAtStartInFreeRoomAndNoEstimateWithoutAVideo) {
  EXPECT_EQ(Page().CheckBoxFit->text(), QStringLiteral("Fit under"));
  EXPECT_FALSE(Page().CheckBoxFit->isChecked());
  EXPECT_FALSE(Page().SpinFitMegabytes->isEnabled());
  EXPECT_EQ(Page().LabelFitUnit->text(), QStringLiteral("MB"));
  for (const QWidget* control :
       {static_cast<QWidget*>(Page().CheckBoxFit), static_cast<QWidget*>(Page().SpinFitMegabytes),
        static_cast<QWidget*>(Page().LabelFitUnit), static_cast<QWidget*>(Page().LabelEstimate)})
    ExpectCoversNoSibling(*control);
  EXPECT_FALSE(Page().FitLimit().has_value());
  Page().CheckBoxFit->setChecked(true);
  EXPECT_TRUE(Page().SpinFitMegabytes->isEnabled());
  Page().SpinFitMegabytes->setValue(2.5);
  EXPECT_EQ(Page().FitLimit(), std::uint64_t{2500000});
  EXPECT_FALSE(Page().Estimating());
  EXPECT_TRUE(Page().LabelEstimate->text().isEmpty());
}

TEST_F(GifPageFitTest, TheEstimateFollowsTheControlsAndComesClose) {
  OpenAvi(Pan);
  const double whole = Estimate();
  ASSERT_GT(whole, 0) << Page().LabelEstimate->text().toStdString();
  const double saved = static_cast<double>(ConvertAndSave());
  EXPECT_NEAR(whole, saved, 0.15 * saved);

  Page().SpinEdit1->setValue(3);
  EXPECT_TRUE(Page().Estimating());
  const double sampled = Estimate();
  EXPECT_LT(sampled, whole * 0.6);
  Page().ComboBox2->setCurrentText(QString::fromLatin1(TGifPage::kScale));
  Page().ComboBoxScale->setCurrentText(QStringLiteral(" 1:2"));
  const double smaller = Estimate();
  EXPECT_LT(smaller, sampled * 0.6);
  EXPECT_NEAR(smaller, static_cast<double>(ConvertAndSave()), 0.15 * smaller);
}

TEST_F(GifPageFitTest, ATickedBoxSavesAGifWithinTheLimit) {
  OpenAvi(Pan);
  Page().CheckBoxBest->setChecked(true);
  const std::uintmax_t best = ConvertAndSave();
  ASSERT_GT(best, 0u);
  Page().CheckBoxFit->setChecked(true);
  for (const double share : {0.3, 0.1}) {
    const double megabytes = std::floor(static_cast<double>(best) * share / 1e4) / 100;  // two decimals, down
    Page().SpinFitMegabytes->setValue(megabytes);
    const double shown = Estimate();
    EXPECT_GT(shown, 0) << Page().LabelEstimate->text().toStdString();
    EXPECT_LE(shown, megabytes * 1e6 * 1.005);
    const std::uintmax_t fitted = ConvertAndSave();
    EXPECT_GT(fitted, 0u);
    EXPECT_LE(fitted, static_cast<std::uintmax_t>(std::llround(megabytes * 1e6)));
    EXPECT_EQ(Page().SpinEdit1->value(), 1);
    EXPECT_EQ(State().SamplingRate, 1);
  }
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(GifPageFitTest, WithTheBoxOffTheGifIsTheOneThePageAlwaysMade) {
  OpenAvi(Pan);
  for (const bool best : {false, true}) {
    Page().CheckBoxBest->setChecked(best);
    ConvertAndSave();
    QFile file(QString::fromStdString(Saved));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    TVideoState state = CopyRunState(State());
    const TGifFileResult expected = ConvertToGifBytes(
        state, [] { return MakeFrameSource(); }, Page().RunOptions(), {}, false);
    EXPECT_EQ(static_cast<std::size_t>(bytes.size()), expected.Bytes.size()) << best;
    EXPECT_TRUE(std::equal(expected.Bytes.begin(), expected.Bytes.end(),
                           reinterpret_cast<const std::uint8_t*>(bytes.constData())))
        << best;
  }
}

}  // namespace
}  // namespace clipvane::testing
