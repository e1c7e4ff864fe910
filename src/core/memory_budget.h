// The memory a run may take for its working pictures, and the check each run makes before it
// allocates them: a picture whose processing would need more than the budget is refused with
// its size, instead of the machine swapping for a minute or the run dying half-way.
#pragma once

#include <cstdint>
#include <string>

namespace clipvane {

// Half of what this process may use (the machine's memory, or an address-space limit set on
// the process when lower), at most 4 GiB.
std::uint64_t WorkingMemoryBudget();

// A byte count for a message: "3.1 GB" from 1 GB (10^9 bytes) up, else whole megabytes
// (at least "1 MB").
std::string MemoryText(std::uint64_t bytes);

// Bytes of `perPixel` bytes per pixel of a width x height picture (0 for a negative side).
std::uint64_t PictureBytes(int width, int height, std::uint64_t perPixel);

// Throws EClipvaneError("The picture is 16384 x 16384: it needs 3.1 GB of memory to process")
// when `bytes`, the estimate for a picture of width x height, is above the budget.
void CheckWorkingMemory(int width, int height, std::uint64_t bytes, std::uint64_t budget = WorkingMemoryBudget());

// The check of the two runs over a video: every frame is decoded at the video's frame size
// (the packed frame, the decode bitmap and the copy read ahead) and made into one picture of
// the output size (the stretched picture and its conversion or colour reduction). The message
// names the larger of the two sizes.
void CheckVideoRunMemory(int frameWidth, int frameHeight, int pictureWidth, int pictureHeight,
                         std::uint64_t budget = WorkingMemoryBudget());

}  // namespace clipvane
