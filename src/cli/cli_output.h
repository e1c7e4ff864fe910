// Where clipvane-cli's words go: results on stdout, the summary and progress on stderr (so
// stdout stays clean for scripts), nothing but errors with --quiet; the --json object; and
// output files, `-` meaning standard output.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace clipvane::cli {

class TJsonObject {
 public:
  TJsonObject& Add(const std::string& key, long long value);
  TJsonObject& Add(const std::string& key, int value) { return Add(key, static_cast<long long>(value)); }
  TJsonObject& Add(const std::string& key, double value);  // three decimals
  TJsonObject& Add(const std::string& key, const std::string& value);
  TJsonObject& Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
  TJsonObject& Add(const std::string& key, const std::vector<int>& values);
  TJsonObject& Add(const std::string& key, const std::vector<std::string>& values);
  // One line, keys in the order added.
  std::string Text() const;

 private:
  void Key(const std::string& key);
  std::string body_;
};

// `text` as a JSON string literal, quotes included; control characters escaped.
std::string JsonString(const std::string& text);

class TCliOutput {
 public:
  explicit TCliOutput(bool quiet) : quiet_(quiet) {}

  bool Quiet() const { return quiet_; }
  // A command's result for people (info's lines): stdout, unless quiet.
  void Result(const std::string& text) const;
  // The closing summary ("Size: ... Frames: ..."): stderr, after the progress bar; unless quiet.
  void Summary(const std::string& line) const;
  // The --json object, one line on stdout (also when quiet: it was asked for).
  void Json(const TJsonObject& object) const;

 private:
  bool quiet_;
};

// `-` names standard output.
inline bool IsStandardOutput(const std::string& path) { return path == "-"; }

// Refuses `-` while stdout is a terminal (a GIF there is only noise), before any work is done.
void CheckOutputTarget(const std::string& path);

// Writes the whole file: to standard output for `-`, else to a temporary file renamed over
// `path` when complete.
void WriteOutputFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace clipvane::cli
