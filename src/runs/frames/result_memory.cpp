// The memory estimate of a "Get frames" run.
#include "runs/frames/result_memory.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "core/bitmap.h"

namespace clipvane {

int FramesToExtract(const TVideoState& state) {
  const int first = std::max(state.RangeFirst, 0);
  const int last = std::min({state.RangeLast, state.LastFrame, static_cast<int>(state.FrameSelected.size()) - 1});
  int count = 0;
  for (int n = first; n <= last; ++n)
    if (state.FrameSelected[static_cast<std::size_t>(n)]) ++count;
  return count;
}

std::uint64_t EstimateResultBytes(int frames, int width, int height, TColorMode mode) {
  if (frames <= 0 || width <= 0 || height <= 0) return 0;
  const std::uint64_t perFrame =
      static_cast<std::uint64_t>(RowStride(width, ColorModePixelFormat(mode))) * static_cast<std::uint64_t>(height);
  return perFrame * static_cast<std::uint64_t>(frames);
}

std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo) {
  constexpr std::string_view key = "MemAvailable:";
  std::size_t at = 0;
  // The key must start a line, or "xMemAvailable:" would match.
  while ((at = meminfo.find(key, at)) != std::string_view::npos && at != 0 && meminfo[at - 1] != '\n') ++at;
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = meminfo.substr(at + key.size());
  const std::size_t digits = rest.find_first_not_of(' ');
  if (digits == std::string_view::npos) return std::nullopt;
  rest.remove_prefix(digits);
  std::uint64_t kilobytes = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), kilobytes);
  if (error != std::errc() || end == rest.data()) return std::nullopt;
  return kilobytes * 1024;
}

std::optional<std::uint64_t> AvailableMemoryBytes() {
  std::ifstream file("/proc/meminfo");
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return ParseMemAvailable(text.str());
}

std::string MemoryQuestionText(std::uint64_t estimate, std::uint64_t available) {
  constexpr std::uint64_t megabyte = 1024 * 1024;
  return "The frames will take about " + std::to_string((estimate + megabyte - 1) / megabyte) +
         " MB of memory, but only " + std::to_string(available / megabyte) +
         " MB are available. Get the frames anyway?";
}

}  // namespace clipvane
