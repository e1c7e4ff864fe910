// The transition page's size estimate: empty until something changes, worked out in the
// background, following the pictures and the steps, close to the GIF "Save" writes, and beside
// the described controls without covering one.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/transitions_page_fixture.h"
#include "support/natural_picture.h"
#include "ui/gif_save_form.h"

namespace clipvane::testing {
namespace {

class TransitionsPageEstimateTest : public TransitionsPageTest {
 protected:
  std::string Ppm(const std::string& name, double shift) {
    const std::string path = Folder.File(name);
    const TBitmap picture = fixtures::NaturalPicture(150, 100, shift);
    std::ofstream out(path, std::ios::binary);
    out << "P6\n150 100\n255\n";
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 150; ++x) {
        const TColor c = picture.GetPixel(x, y);
        out.put(static_cast<char>(GetRValue(c)))
            .put(static_cast<char>(GetGValue(c)))
            .put(static_cast<char>(GetBValue(c)));
      }
    return path;
  }

  double Estimate() {
    EXPECT_TRUE(ProcessUntil([this] { return !Page().Estimating(); }));
    const std::string text = Page().LabelEstimate->text().toStdString();
    std::smatch match;
    if (!std::regex_match(text, match, std::regex(R"(GIF about ([0-9.]+) (bytes|KB|MB))"))) return 0;
    return std::stod(match[1]) * (match[2] == "MB" ? 1e6 : match[2] == "KB" ? 1e3 : 1);
  }

  std::uintmax_t ConvertAndSave() {
    if (Page().ClearGifButton->isEnabled()) Page().ClearGifButton->click();
    Page().ConvertButton->click();
    const std::string saved = Folder.File("saved.gif");
    SetGifSaveDialog([saved](QWidget*, const QString&) { return QString::fromStdString(saved); });
    SetGifOverwriteQuestion([](const QString&) { return true; });
    Page().SaveButton->click();
    EXPECT_TRUE(WaitForGifSaves());
    SetGifSaveDialog({});
    SetGifOverwriteQuestion({});
    return std::filesystem::exists(saved) ? std::filesystem::file_size(saved) : 0;
  }
};

TEST_F(TransitionsPageEstimateTest, FollowsThePicturesAndStepsAndComesClose) {
  ExpectCoversNoSibling(*Page().LabelEstimate);
  EXPECT_TRUE(Page().LabelEstimate->text().isEmpty());
  EXPECT_FALSE(Page().Estimating());
  OpenInto(TTransitionSlotId::tsSource, Ppm("first.ppm", 0));
  OpenInto(TTransitionSlotId::tsDestination, Ppm("second.ppm", 40));
  EXPECT_TRUE(Page().Estimating());
  const double tenSteps = Estimate();
  ASSERT_GT(tenSteps, 0) << Page().LabelEstimate->text().toStdString();
  const auto saved = static_cast<double>(ConvertAndSave());
  EXPECT_NEAR(tenSteps, saved, 0.15 * saved);

  Page().StepEdit->setValue(30);
  const double thirtySteps = Estimate();
  EXPECT_GT(thirtySteps, tenSteps * 2);
  EXPECT_NEAR(thirtySteps, static_cast<double>(ConvertAndSave()), 0.15 * thirtySteps);
  Page().CheckBoxBest->setChecked(true);
  const double best = Estimate();
  EXPECT_GT(best, 0);
  EXPECT_NE(best, thirtySteps);
  EXPECT_NEAR(best, static_cast<double>(ConvertAndSave()), 0.15 * best);
}

}  // namespace
}  // namespace clipvane::testing
