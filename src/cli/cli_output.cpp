// The output channels of clipvane-cli and its small JSON writer.
#include "cli/cli_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "core/atomic_file.h"
#include "core/error.h"

namespace clipvane::cli {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void TJsonObject::Key(const std::string& key) {
  if (!body_.empty()) body_ += ", ";
  body_ += JsonString(key) + ": ";
}

TJsonObject& TJsonObject::Add(const std::string& key, long long value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, double value) {
  Key(key);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  body_ += text;
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, const std::string& value) {
  Key(key);
  body_ += JsonString(value);
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, const std::vector<int>& values) {
  Key(key);
  body_ += "[";
  for (std::size_t i = 0; i < values.size(); ++i) body_ += (i ? ", " : "") + std::to_string(values[i]);
  body_ += "]";
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, const std::vector<std::string>& values) {
  Key(key);
  body_ += "[";
  for (std::size_t i = 0; i < values.size(); ++i) body_ += (i ? ", " : "") + JsonString(values[i]);
  body_ += "]";
  return *this;
}

std::string TJsonObject::Text() const { return "{" + body_ + "}"; }

void TCliOutput::Result(const std::string& text) const {
  if (!quiet_) std::cout << text << std::flush;
}

void TCliOutput::Summary(const std::string& line) const {
  if (!quiet_) std::cerr << line << "\n";
}

void TCliOutput::Json(const TJsonObject& object) const { std::cout << object.Text() << "\n" << std::flush; }

void CheckOutputTarget(const std::string& path) {
  if (IsStandardOutput(path) && isatty(STDOUT_FILENO))
    throw EClipvaneError("Standard output is a terminal; redirect it to a file or a pipe to write the GIF there");
}

void WriteOutputFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (!IsStandardOutput(path)) {
    WriteFileAtomically(path, bytes);
    return;
  }
  std::cout.flush();
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(STDOUT_FILENO, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw EClipvaneError(std::string("Cannot write to standard output: ") + std::strerror(errno));
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace clipvane::cli
