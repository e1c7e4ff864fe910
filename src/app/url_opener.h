// Opening web pages, mail messages and the help page in the desktop's own programs.
// Tests replace the opener so that nothing is launched.
#pragma once

#include <functional>

class QUrl;

namespace clipvane {

// Asks the desktop to open the address (QDesktopServices), or calls the test opener. False
// when the desktop has no program for it (no web browser, no mail program).
bool OpenUrl(const QUrl& url);

// Replaces the opener; an empty function restores QDesktopServices.
void SetUrlOpener(std::function<bool(const QUrl& url)> opener);

}  // namespace clipvane
