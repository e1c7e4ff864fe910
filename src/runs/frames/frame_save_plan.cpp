// The file paths of a "Save" and the files it would replace.
#include "runs/frames/frame_save_plan.h"

#include <filesystem>
#include <system_error>

namespace clipvane {

std::vector<std::string> FrameSavePaths(const std::vector<TExtractedFrame>& frames, int lastFrame,
                                        const std::string& folder, const TSaveOptions& options) {
  std::vector<std::string> paths;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const auto& entry : frames) {
    if (entry.Bitmap == nullptr) continue;
    paths.push_back(prefix + FrameFileName(options.BaseName, entry.FrameNumber, lastFrame, options.Format));
  }
  return paths;
}

int CountExistingFiles(const std::vector<std::string>& paths) {
  int existing = 0;
  for (const auto& path : paths) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) ++existing;
  }
  return existing;
}

std::string ReplaceQuestionText(int existing, const std::string& folder) {
  return (existing == 1 ? std::string("1 file") : std::to_string(existing) + " files") + " of these names already " +
         (existing == 1 ? "exists" : "exist") + " in " + folder + " and will be replaced. Replace " +
         (existing == 1 ? "it?" : "them?");
}

}  // namespace clipvane
