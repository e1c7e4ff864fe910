// The working-memory budget from the machine's memory and the process's limits.
#include "core/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/error.h"

namespace clipvane {

std::uint64_t WorkingMemoryBudget() {
  constexpr std::uint64_t kCeiling = std::uint64_t{4} << 30;
  std::uint64_t usable = kCeiling * 2;
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageBytes = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageBytes > 0) usable = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageBytes);
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    usable = std::min<std::uint64_t>(usable, limit.rlim_cur);
  return std::min(usable / 2, kCeiling);
}

std::string MemoryText(std::uint64_t bytes) {
  constexpr std::uint64_t kMega = 1000 * 1000, kGiga = kMega * 1000;
  char text[32];
  if (bytes >= kGiga)
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / static_cast<double>(kGiga));
  else
    std::snprintf(text, sizeof text, "%llu MB",
                  static_cast<unsigned long long>(std::max<std::uint64_t>(1, (bytes + kMega / 2) / kMega)));
  return text;
}

std::uint64_t PictureBytes(int width, int height, std::uint64_t perPixel) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * perPixel;
}

void CheckWorkingMemory(int width, int height, std::uint64_t bytes, std::uint64_t budget) {
  if (bytes <= budget) return;
  throw EClipvaneError("The picture is " + std::to_string(width) + " x " + std::to_string(height) + ": it needs " +
                       MemoryText(bytes) + " of memory to process");
}

void CheckVideoRunMemory(int frameWidth, int frameHeight, int pictureWidth, int pictureHeight, std::uint64_t budget) {
  // Bytes a pixel: four 32-bit copies of a decoded frame, two 32-bit copies of the picture.
  constexpr std::uint64_t kPerFramePixel = 16, kPerPicturePixel = 8;
  const std::uint64_t bytes = PictureBytes(frameWidth, frameHeight, kPerFramePixel) +
                              PictureBytes(pictureWidth, pictureHeight, kPerPicturePixel);
  if (PictureBytes(frameWidth, frameHeight, 1) >= PictureBytes(pictureWidth, pictureHeight, 1))
    CheckWorkingMemory(frameWidth, frameHeight, bytes, budget);
  else CheckWorkingMemory(pictureWidth, pictureHeight, bytes, budget);
}

}  // namespace clipvane
