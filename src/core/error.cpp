// The error type and the rule for the words of every error.
#include "core/error.h"

#include <cctype>
#include <new>
#include <system_error>

namespace clipvane {

namespace {

std::string FileMessage(const std::string& file, const std::string& problem) { return file + ": " + problem; }

}  // namespace

EClipvaneError::EClipvaneError(const std::string& message) : std::runtime_error(message) {}

EClipvaneError::EClipvaneError(const char* message) : std::runtime_error(message) {}

EClipvaneError::EClipvaneError(const std::string& message, const std::string& file, const std::string& problem)
    : std::runtime_error(message.empty() ? FileMessage(file, problem) : message),
      file_(std::make_shared<const TFileProblem>(TFileProblem{file, problem})) {}

const std::string& EClipvaneError::File() const {
  static const std::string none;
  return file_ ? file_->File : none;
}

const std::string& EClipvaneError::Problem() const {
  static const std::string none;
  return file_ ? file_->Problem : none;
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

std::string ErrorMessageOf(const std::exception& error) {
  if (const auto* ours = dynamic_cast<const EClipvaneError*>(&error)) {
    const std::string message = ours->what();
    if (ours->File().empty() || message.find(ours->File()) != std::string::npos) return message;
    // Each line keeps the full-stop rule; the box adds the last one. A cause that only says
    // the message again is left out.
    const bool same = InWords(message) == InWords(ours->Problem());
    return ErrorBoxText(message) + "\n" + (same ? ours->File() : FileMessage(ours->File(), ours->Problem()));
  }
  if (dynamic_cast<const std::system_error*>(&error)) return error.what();
  if (dynamic_cast<const std::bad_alloc*>(&error) || dynamic_cast<const std::length_error*>(&error))
    return "Not enough memory";
  return "Internal error";
}

std::string CommandLineMessageOf(const std::exception& error) {
  if (const auto* ours = dynamic_cast<const EClipvaneError*>(&error); ours && !ours->File().empty())
    return FileMessage(ours->File(), ours->Problem());
  return ErrorMessageOf(error);
}

std::string InWords(std::string_view message) {
  std::string words(message);
  const auto upper = [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; };
  if (!words.empty() && upper(words[0]) && !(words.size() > 1 && upper(words[1])))
    words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
  return words;
}

void RethrowForFile(const std::string& file) {
  try {
    throw;
  } catch (const EClipvaneError& error) {
    if (!error.File().empty()) throw;
    throw EClipvaneError(error.what(), file, InWords(error.what()));
  } catch (const std::system_error& error) {
    throw EClipvaneError(error.what(), file, InWords(error.what()));
  }
}

}  // namespace clipvane
