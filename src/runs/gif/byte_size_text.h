// File sizes as people write them: "5MB", "800 KB", "2.5M", "3MiB", "120000", and back into
// words for an estimate or a message ("about 12.4 MB", "412 KB").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clipvane {

// A size in bytes: a number (digits with one optional decimal point) and an optional unit,
// case ignored, a blank allowed between: none or B (bytes), K or KB (1000), M or MB (10^6),
// G or GB (10^9), KiB (1024), MiB (2^20), GiB (2^30). Fractions of a byte are dropped. None
// for any other text, for 0 and for sizes of 2^53 bytes or more.
std::optional<std::uint64_t> ParseByteSize(std::string_view text);

// The size in the largest unit of 1000 that keeps it at 1 or more, to three significant
// digits, trailing zeros dropped: "950 bytes", "1 byte", "412 KB", "12.4 MB", "1.5 GB".
std::string ByteSizeWords(std::uint64_t bytes);

}  // namespace clipvane
