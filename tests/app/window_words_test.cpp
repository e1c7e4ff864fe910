// What the window says about itself agrees: the controls whose captions say "AVI" tell in their
// tips that any video opens, and the help page and the About box name the same containers; the
// controls added beside the described ones ("Best quality", "PNG") explain themselves in a tip
// and in the help.
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextDocumentFragment>

#include "app/about_form.h"
#include "app/control_tips.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

// The words of one section of the help page (from its heading to the next), tags removed.
QString HelpSection(const QString& id) {
  QFile file(TForm1::HelpFilePath());
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << TForm1::HelpFilePath().toStdString();
  const QString html = QString::fromUtf8(file.readAll());
  const qsizetype start = html.indexOf(QStringLiteral("<h2 id=\"%1\">").arg(id));
  EXPECT_GE(start, 0) << id.toStdString();
  const qsizetype end = html.indexOf(QStringLiteral("<h2"), start + 1);
  const QString text = QTextDocumentFragment::fromHtml(html.mid(start, end < 0 ? -1 : end - start)).toPlainText();
  return text.simplified();
}

void ExpectNamesEveryContainer(const QString& text, const char* where) {
  for (const char* container : kVideoContainers)
    EXPECT_TRUE(text.contains(QString::fromLatin1(container)))
        << where << " lacks " << container << ": " << text.toStdString();
}

using WindowWords = WindowTest;

TEST_F(WindowWords, ControlsCaptionedAviSayAnyVideoOpensAndTheHelpAndAboutAgree) {
  const std::pair<const QWidget*, const char*> aviCaptioned[] = {
      {Form().Button3, "Open AVI"},
      {Form().GroupBoxFileInfo, "AVI file info"},
      {Form().GifPage->GroupBoxWindowSize, "AVI window size"}};
  for (const auto& [control, caption] : aviCaptioned) {
    // The described caption stays.
    const auto* button = qobject_cast<const QPushButton*>(control);
    const auto* group = qobject_cast<const QGroupBox*>(control);
    EXPECT_EQ(button ? button->text() : group->title(), QString::fromLatin1(caption));
    EXPECT_TRUE(control->toolTip().contains(QStringLiteral("any video"), Qt::CaseInsensitive)) << caption;
    ExpectNamesEveryContainer(control->toolTip(), caption);
  }
  const QString opening = HelpSection(QStringLiteral("open"));
  EXPECT_TRUE(opening.contains(QStringLiteral("any video opens"))) << opening.toStdString();
  ExpectNamesEveryContainer(opening, "the help's \"Opening a video\"");
  EXPECT_TRUE(Windows->AboutForm->Copyright->text().contains(QStringLiteral("any video")));
  ExpectNamesEveryContainer(Windows->AboutForm->Copyright->text(), "the About box");
}

TEST_F(WindowWords, ControlsBesideTheDescribedOnesExplainThemselves) {
  for (const QCheckBox* best : {Form().GifPage->CheckBoxBest, Form().TransitionsPage->CheckBoxBest}) {
    EXPECT_TRUE(best->toolTip().contains(QStringLiteral("256 colours"))) << best->toolTip().toStdString();
    EXPECT_TRUE(best->toolTip().contains(QStringLiteral("true time"))) << best->toolTip().toStdString();
  }
  for (const QString& section : {QStringLiteral("gif"), QStringLiteral("transitions")})
    EXPECT_TRUE(HelpSection(section).contains(QStringLiteral("Best quality"))) << section.toStdString();
  EXPECT_FALSE(Form().FramesPage->RadioButtonPng->toolTip().isEmpty());
  EXPECT_TRUE(HelpSection(QStringLiteral("frames")).contains(QStringLiteral("PNG")));
}

}  // namespace
}  // namespace clipvane::testing
