// OpenUrl: QDesktopServices::openUrl unless a test opener is set.
#include "app/url_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace clipvane {

namespace {
std::function<bool(const QUrl&)>& Opener() {
  static std::function<bool(const QUrl&)> opener;
  return opener;
}
}  // namespace

bool OpenUrl(const QUrl& url) {
  if (Opener()) return Opener()(url);
  return QDesktopServices::openUrl(url);
}

void SetUrlOpener(std::function<bool(const QUrl& url)> opener) { Opener() = std::move(opener); }

}  // namespace clipvane
