// THelpWindow: layout (buttons above, contents at the left, the page at the right), the
// contents made from the page's second-level headings, and link following.
#include "app/help_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/url_opener.h"

namespace clipvane {

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Clipvane 4.3 Help"));
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(760, 540);

  BackButton = new QPushButton(QStringLiteral("Back"), this);
  ForwardButton = new QPushButton(QStringLiteral("Forward"), this);
  BrowserButton = new QPushButton(QStringLiteral("Open in web browser"), this);
  BrowserButton->setToolTip(QStringLiteral("Shows this page in the desktop's web browser"));
  // A desktop without a browser would otherwise show nothing at all, only a line on stderr.
  OpenFailedLabel = new QLabel(this);
  OpenFailedLabel->setWordWrap(true);
  OpenFailedLabel->setStyleSheet(QStringLiteral("color: #a01010;"));
  OpenFailedLabel->hide();
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BackButton);
  buttons->addWidget(ForwardButton);
  buttons->addWidget(OpenFailedLabel, 1);
  buttons->addStretch(0);
  buttons->addWidget(BrowserButton);

  auto* splitter = new QSplitter(this);
  Contents = new QListWidget(splitter);
  Browser = new QTextBrowser(splitter);
  // Links are followed here, so that a web address goes to the desktop and not into the page.
  Browser->setOpenLinks(false);
  splitter->addWidget(Contents);
  splitter->addWidget(Browser);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({200, 560});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(splitter, 1);

  BackButton->setEnabled(false);
  ForwardButton->setEnabled(false);
  connect(BackButton, &QPushButton::clicked, Browser, &QTextBrowser::backward);
  connect(ForwardButton, &QPushButton::clicked, Browser, &QTextBrowser::forward);
  connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QPushButton::setEnabled);
  connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QPushButton::setEnabled);
  connect(Browser, &QTextBrowser::anchorClicked, this, &THelpWindow::FollowLink);
  connect(Contents, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { FollowLink(item->data(Qt::UserRole).toUrl()); });
  connect(Contents, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { FollowLink(item->data(Qt::UserRole).toUrl()); });
  connect(BrowserButton, &QPushButton::clicked, this, [this] { OpenOnDesktop(Place()); });
}

void THelpWindow::ShowPage(const QString& path) {
  Browser->setSource(QUrl::fromLocalFile(path));
  Browser->clearHistory();
  FillContents();
}

void THelpWindow::FollowLink(const QUrl& link) {
  const QUrl target = Browser->source().resolved(link);
  if (target.isLocalFile()) Browser->setSource(target);
  else OpenOnDesktop(target);
}

void THelpWindow::OpenOnDesktop(const QUrl& address) {
  if (OpenUrl(address)) {
    OpenFailedLabel->hide();
    return;
  }
  OpenFailedLabel->setText(
      address.isLocalFile()
          ? QStringLiteral("No web browser was found to show this page. All of the help is here in this window.")
          : QStringLiteral("No program was found to open %1.").arg(address.toDisplayString()));
  OpenFailedLabel->show();
}

QUrl THelpWindow::Place() const { return Browser->source(); }

void THelpWindow::FillContents() {
  Contents->clear();
  const QUrl page = Browser->source().adjusted(QUrl::RemoveFragment);
  auto* top = new QListWidgetItem(
      Browser->documentTitle().isEmpty() ? QStringLiteral("Help") : Browser->documentTitle(), Contents);
  top->setData(Qt::UserRole, page);
  // A section is a second-level heading with an anchor to go to.
  for (QTextBlock block = Browser->document()->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() != 2) continue;
    const QStringList anchors = block.charFormat().anchorNames();
    if (anchors.isEmpty()) continue;
    QUrl section = page;
    section.setFragment(anchors.first());
    auto* item = new QListWidgetItem(QStringLiteral("   ") + block.text(), Contents);
    item->setData(Qt::UserRole, section);
  }
}

}  // namespace clipvane
