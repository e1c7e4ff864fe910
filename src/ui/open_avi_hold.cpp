// GiveBackOpenAvi: "Open AVI" after a clear, from the other pages' clear buttons.
#include "ui/open_avi_hold.h"

#include <QPushButton>
#include <algorithm>

namespace clipvane {

void GiveBackOpenAvi(QPushButton* openAvi, const std::vector<QPushButton*>& otherClearButtons) {
  if (!openAvi) return;
  const bool otherHolds = std::any_of(otherClearButtons.begin(), otherClearButtons.end(),
                                      [](const QPushButton* clear) { return clear && clear->isEnabled(); });
  openAvi->setEnabled(!otherHolds);
}

}  // namespace clipvane
