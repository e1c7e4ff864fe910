// Float-to-integer conversions and MulDiv.
#include "core/conversions.h"

#include <cmath>
#include <limits>

namespace clipvane {

namespace {

int saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

}  // namespace

int nearest(double value) {
  // nearbyint honours the default rounding mode, which is round-half-to-even.
  return saturate(std::nearbyint(value));
}

int trunc(double value) { return saturate(std::trunc(value)); }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude_c = c < 0 ? -static_cast<std::int64_t>(c) : c;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude_p = product < 0 ? -product : product;
  const std::int64_t quotient = (magnitude_p + magnitude_c / 2) / magnitude_c;
  const std::int64_t result = negative ? -quotient : quotient;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(result);
}

}  // namespace clipvane
