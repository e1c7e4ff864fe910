// OpenUrl: QDesktopServices::openUrl unless a test opener is set.
#include "app/url_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace clipvane {

namespace {
std::function<void(const QUrl&)>& Opener() {
  static std::function<void(const QUrl&)> opener;
  return opener;
}
}  // namespace

void OpenUrl(const QUrl& url) {
  if (Opener()) {
    Opener()(url);
    return;
  }
  QDesktopServices::openUrl(url);
}

void SetUrlOpener(std::function<void(const QUrl& url)> opener) { Opener() = std::move(opener); }

}  // namespace clipvane
