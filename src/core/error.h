// The program's one error type, and the one rule for the words the user reads of any error.
// Every failure travels as an exception carrying the message the user will read.
#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace clipvane {

// What every part of the program raises (the GIF library's GIFException, a command line's
// TUsageError, ... derive from it). A failure of one file also carries the file and what is
// wrong with it in words, so that each front end can name the file its own way.
class EClipvaneError : public std::runtime_error {
 public:
  explicit EClipvaneError(const std::string& message);
  explicit EClipvaneError(const char* message);
  // A failure of `file`: `problem` says in words what is wrong with it ("not a video file this
  // program can read", "the file is empty"); `message` is the text the windows show for it
  // (a fixed text such as "Failed to open AVI file"), or when empty "FILE: problem".
  EClipvaneError(const std::string& message, const std::string& file, const std::string& problem);

  // Both empty for a failure that names no file.
  const std::string& File() const;
  const std::string& Problem() const;

 private:
  struct TFileProblem {
    std::string File, Problem;
  };
  // Shared, so that copying the exception as it travels cannot throw.
  std::shared_ptr<const TFileProblem> file_;
};

// The message as the error box and the CLI show it: a full stop is appended when the
// last character sorts after "." (letters and digits do), so "Failed to open AVI file"
// reads "Failed to open AVI file.".
std::string ErrorBoxText(std::string_view message);

// The message the user reads in a window for an error: ours and the system's as they are, and
// for a failure of a file that the message does not name, "FILE: problem" on a line of its
// own after it (the file alone when the problem says what the message says); "Not enough memory" for an allocation that
// failed or was too large to try; "Internal error" for any other library error, whose text ("vector::_M_range_check",
// ...) would mean nothing to a user.
std::string ErrorMessageOf(const std::exception& error);

// The same for a command line, where every failure of a file reads "FILE: problem".
std::string CommandLineMessageOf(const std::exception& error);

// A message as words that follow a file name: its first letter in lower case unless it opens
// a name in capitals ("The AVI frame ..." reads "the AVI frame ...").
std::string InWords(std::string_view message);

// Called inside a catch block: an EClipvaneError or a system error that names no file is
// thrown again as the failure of `file` (its message unchanged); any other error as it is.
[[noreturn]] void RethrowForFile(const std::string& file);

// Runs `work`; its errors are the failures of `file` (see RethrowForFile).
template <class Work>
decltype(auto) ForFile(const std::string& file, Work&& work) {
  try {
    return work();
  } catch (...) {
    RethrowForFile(file);
  }
}

}  // namespace clipvane
