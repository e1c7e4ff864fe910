// "Open AVI" and the results the pages hold. Every page's run takes "Open AVI", and a page holds
// what its run made while its clear button is enabled; a clear gives back only its own page's
// hold, so "Open AVI" comes back once no page holds results any more.
#pragma once

#include <vector>

class QPushButton;

namespace clipvane {

// After a page's clear: enables "Open AVI" unless one of the other pages' clear buttons is
// still enabled. Null entries are skipped.
void GiveBackOpenAvi(QPushButton* openAvi, const std::vector<QPushButton*>& otherClearButtons);

}  // namespace clipvane
