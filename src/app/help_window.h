// THelpWindow: the program's own help window. It shows the help page that ships with the
// program, with a contents list made from the page's sections, links followed inside the
// window with back and forward, and a button that opens the page in the desktop's browser.
// It needs no browser, so "Help" shows something on every machine.
#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QTextBrowser;

namespace clipvane {

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(QWidget* parent = nullptr);

  // Shows the page at `path` (an HTML file) from its top; an earlier page and its history go.
  void ShowPage(const QString& path);
  // Follows a link as a click on it does: a place in the help inside the window (history kept),
  // anything else (a web page, a mail address) in the desktop's programs.
  void FollowLink(const QUrl& link);

  // The place on show: the page and the section, if any.
  QUrl Place() const;

  QPushButton* BackButton = nullptr;
  QPushButton* ForwardButton = nullptr;
  QPushButton* BrowserButton = nullptr;  // "Open in web browser"
  // Says so when the desktop has no program for what was to be opened; hidden otherwise.
  QLabel* OpenFailedLabel = nullptr;
  QListWidget* Contents = nullptr;  // one entry per section; its data is the section's link
  QTextBrowser* Browser = nullptr;

 private:
  void FillContents();
  // Hands the address to the desktop and says in the window when nothing can open it.
  void OpenOnDesktop(const QUrl& address);
};

}  // namespace clipvane
