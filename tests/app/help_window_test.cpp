// "Help" shows the shipped help page in the program's own window, which needs no web browser:
// its contents list, links followed inside it with back and forward, web links and the
// page itself handed to the desktop (and said in the window when it has no browser), and the
// window going with the main window.
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>

#include "app/help_window.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

class HelpWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Form().show();
    Form().Button1->click();
    ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
    ASSERT_NE(Form().HelpWindow(), nullptr);
  }
  THelpWindow& Help() { return *Form().HelpWindow(); }
  int ScrolledTo() { return Help().Browser->verticalScrollBar()->value(); }
  // Clicks the contents entry whose text contains `text`.
  void ChooseSection(const QString& text) {
    for (int row = 0; row < Help().Contents->count(); ++row)
      if (Help().Contents->item(row)->text().contains(text)) {
        emit Help().Contents->itemClicked(Help().Contents->item(row));
        return;
      }
    ADD_FAILURE() << "no contents entry " << text.toStdString();
  }
};

TEST_F(HelpWindowTest, ShowsTheShippedPageInItsOwnWindowWithContents) {
  EXPECT_TRUE(Help().isVisible());
  EXPECT_TRUE(OpenedUrls.empty());
  const QUrl page = Help().Place();
  ASSERT_TRUE(page.isLocalFile());
  EXPECT_EQ(page.toLocalFile(), TForm1::HelpFilePath());
  EXPECT_TRUE(page.toLocalFile().endsWith(QStringLiteral("/help/index.html")));
  EXPECT_TRUE(QFileInfo::exists(page.toLocalFile()));
  EXPECT_EQ(Help().Browser->documentTitle(), QStringLiteral("Clipvane 4.3 Help"));
  // The page itself, then one entry per section.
  QStringList entries;
  for (int row = 0; row < Help().Contents->count(); ++row) entries << Help().Contents->item(row)->text().trimmed();
  EXPECT_EQ(entries,
            (QStringList{QStringLiteral("Clipvane 4.3 Help"), QStringLiteral("Opening a video"),
                         QStringLiteral("Playing and positioning"), QStringLiteral("The \"frames extract\" page"),
                         QStringLiteral("The \"AVI to animated GIF\" page"),
                         QStringLiteral("The \"Transition effects\" page"), QStringLiteral("Command line")}));
  EXPECT_FALSE(Help().BackButton->isEnabled());
  EXPECT_FALSE(Help().ForwardButton->isEnabled());
}

TEST_F(HelpWindowTest, SectionsAndLinksAreFollowedInsideWithBackAndForward) {
  Help().resize(700, 400);
  EXPECT_EQ(ScrolledTo(), 0);
  ChooseSection(QStringLiteral("AVI to animated GIF"));
  EXPECT_EQ(Help().Place().fragment(), QStringLiteral("gif"));
  const int atGif = ScrolledTo();
  EXPECT_GT(atGif, 0);
  EXPECT_TRUE(Help().BackButton->isEnabled());

  // A link of the page's own (the row of section links at its top).
  Help().FollowLink(QUrl(QStringLiteral("#play")));
  EXPECT_EQ(Help().Place().fragment(), QStringLiteral("play"));
  EXPECT_LT(ScrolledTo(), atGif);

  Help().BackButton->click();
  EXPECT_EQ(Help().Place().fragment(), QStringLiteral("gif"));
  EXPECT_EQ(ScrolledTo(), atGif);
  EXPECT_TRUE(Help().ForwardButton->isEnabled());
  Help().BackButton->click();
  EXPECT_EQ(Help().Place().fragment(), QString());
  EXPECT_FALSE(Help().BackButton->isEnabled());
  Help().ForwardButton->click();
  EXPECT_EQ(Help().Place().fragment(), QStringLiteral("gif"));
  EXPECT_TRUE(OpenedUrls.empty());
}

TEST_F(HelpWindowTest, WebLinksAndThePageItselfGoToTheDesktopsBrowser) {
  ChooseSection(QStringLiteral("Command line"));
  const QUrl place = Help().Place();
  Help().FollowLink(QUrl(QStringLiteral("https://clipvane.example.org/")));
  EXPECT_EQ(Help().Place(), place);

  Help().BrowserButton->click();
  ASSERT_EQ(OpenedUrls.size(), 2u);
  EXPECT_EQ(OpenedUrls[0], QUrl(QStringLiteral("https://clipvane.example.org/")));
  EXPECT_EQ(OpenedUrls[1], place);
  EXPECT_EQ(OpenedUrls[1].fragment(), QStringLiteral("cli"));
}

TEST_F(HelpWindowTest, WithoutABrowserTheWindowSaysSoAndStaysWhereItWas) {
  ChooseSection(QStringLiteral("Playing"));
  const QUrl place = Help().Place();
  EXPECT_FALSE(Help().OpenFailedLabel->isVisible());
  DesktopOpens = false;
  Help().BrowserButton->click();
  ASSERT_TRUE(Help().OpenFailedLabel->isVisible());
  EXPECT_TRUE(Help().OpenFailedLabel->text().contains(QStringLiteral("No web browser")))
      << Help().OpenFailedLabel->text().toStdString();
  EXPECT_EQ(Help().Place(), place);
  // A web link names what could not be opened.
  Help().FollowLink(QUrl(QStringLiteral("https://clipvane.example.org/")));
  EXPECT_TRUE(Help().OpenFailedLabel->text().contains(QStringLiteral("https://clipvane.example.org/")))
      << Help().OpenFailedLabel->text().toStdString();
  EXPECT_EQ(Help().Place(), place);
  // Once something opens, the notice goes.
  DesktopOpens = true;
  Help().BrowserButton->click();
  EXPECT_FALSE(Help().OpenFailedLabel->isVisible());
  EXPECT_EQ(OpenedUrls.size(), 3u);
  EXPECT_TRUE(ErrorTexts.empty());
}

TEST_F(HelpWindowTest, ShownAgainItKeepsItsPlaceAndItGoesWithTheMainWindow) {
  ChooseSection(QStringLiteral("Transition effects"));
  Help().hide();
  Form().Button1->click();
  EXPECT_TRUE(Help().isVisible());
  EXPECT_EQ(Help().Place().fragment(), QStringLiteral("transitions"));

  Form().Button18->click();
  EXPECT_FALSE(Help().isVisible());
}

}  // namespace
}  // namespace clipvane::testing
