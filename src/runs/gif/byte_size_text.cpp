// Parsing and wording of byte sizes.
#include "runs/gif/byte_size_text.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace clipvane {

namespace {

struct TUnit {
  std::string_view Name;
  double Bytes;
};

constexpr std::array<TUnit, 11> kUnits = {{{"", 1},
                                           {"b", 1},
                                           {"k", 1e3},
                                           {"kb", 1e3},
                                           {"m", 1e6},
                                           {"mb", 1e6},
                                           {"g", 1e9},
                                           {"gb", 1e9},
                                           {"kib", 1024.0},
                                           {"mib", 1048576.0},
                                           {"gib", 1073741824.0}}};

}  // namespace

std::optional<std::uint64_t> ParseByteSize(std::string_view text) {
  std::size_t at = 0;
  double whole = 0, fraction = 0, scale = 1;
  bool digits = false, point = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (point) fraction += (scale /= 10) * (c - '0');
      else whole = whole * 10 + (c - '0');
      if (whole > 1e18) return std::nullopt;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (at < text.size() && text[at] == ' ') ++at;
  std::string unit;
  for (; at < text.size(); ++at) unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
  for (const TUnit& known : kUnits) {
    if (known.Name != unit) continue;
    const double bytes = std::floor((whole + fraction) * known.Bytes);
    if (bytes < 1 || bytes >= 9007199254740992.0) return std::nullopt;
    return static_cast<std::uint64_t>(bytes);
  }
  return std::nullopt;
}

std::string ByteSizeWords(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static constexpr std::array<const char*, 4> kNames = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  // Rounded as it will be shown, so that 999.9 KB reads 1.00 MB, not 1000 KB.
  while (unit + 1 < kNames.size() && value >= 999.5) {
    value /= 1000;
    ++unit;
  }
  const int decimals = value >= 99.95 ? 0 : value >= 9.995 ? 1 : 2;
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
  std::string text = digits;
  if (decimals > 0) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text + " " + kNames[unit];
}

}  // namespace clipvane
