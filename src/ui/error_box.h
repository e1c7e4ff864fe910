// The program's error box and the guard that shows it for every error leaving a handler.
// Tests replace the presenter so that no modal box waits for a click.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/error.h"

class QWidget;

namespace clipvane {

inline constexpr const char* kApplicationTitle = "Clipvane 4.3";

// Shows the message in a modal box titled "Clipvane 4.3" with the error icon and "OK",
// after the full-stop rule.
void ShowErrorBox(QWidget* parent, const std::string& message);

// Replaces how error boxes are shown (the argument gets the text after the full-stop rule);
// an empty function restores the modal box.
void SetErrorBoxPresenter(std::function<void(const std::string& text)> presenter);

// Runs one handler; an error that leaves it is shown in the error box (in the words
// ErrorMessageOf gives every error) and the program goes on with whatever state the
// handler's clean-up left.
template <class Handler>
void RunHandler(QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowErrorBox(parent, ErrorMessageOf(error));
  }
}

}  // namespace clipvane
