// Before "Save" writes anything: the path of every frame of the list in the chosen folder
// and how many of them already exist, so one question can cover every file replaced.
#pragma once

#include <string>
#include <vector>

#include "core/video_state.h"
#include "runs/frames/frame_saving.h"

namespace clipvane {

// One path per listed frame with a bitmap, in list order. Throws EClipvaneError for a base
// name that cannot make a file name (nothing is written then).
std::vector<std::string> FrameSavePaths(const std::vector<TExtractedFrame>& frames, int lastFrame,
                                        const std::string& folder, const TSaveOptions& options);

// How many of the paths name something that exists.
int CountExistingFiles(const std::vector<std::string>& paths);

// "3 files of these names already exist in /tmp/out and will be replaced. Replace them?"
std::string ReplaceQuestionText(int existing, const std::string& folder);

}  // namespace clipvane
