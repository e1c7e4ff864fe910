// Whole-file saves that replace their target only when complete: the bytes go to a
// temporary file beside the target, which is renamed over it at the end. Every save of a
// picture, frame or GIF goes through here, so a failure never leaves a truncated file and
// never destroys the file that was there.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace clipvane {

// Whether a save waits for its bytes to reach the disk before the rename. A picture or GIF
// the user saves does; the hundreds of frame files of one run leave it to the system:
// waiting for each would make the run several times slower than the decoding.
enum class TFileFlush { ffToDisk, ffBySystem };

// A temporary file in the folder of a target path, hidden (".clipvane-" and six random
// characters), created with the permissions any new file gets there. It is created only by
// the constructor and goes only through Commit() (renamed over the target) or Remove()
// (deleted); the destructor removes one that was not committed. While it exists it is
// registered for removal on interrupt (RemoveTemporaryFilesOnInterrupt).
class TTemporaryFile {
 public:
  // Throws EClipvaneError "Cannot create file \"target\": reason" when the folder does not
  // exist or cannot be written.
  explicit TTemporaryFile(const std::string& target);
  ~TTemporaryFile();
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Target() const { return target_; }

  // Appends data. Throws EClipvaneError "Cannot write file \"target\": reason" (a full disk,
  // a file size limit) and removes the temporary file.
  void Write(std::span<const std::uint8_t> data);
  // Closes the file, after flushing it to the disk when asked, and renames it over the
  // target. A failure throws as Write does and removes the temporary file; the target is
  // then as it was.
  void Commit(TFileFlush flush);
  // Closes and deletes the temporary file unless it was committed. Never throws.
  void Remove() noexcept;

 private:
  [[noreturn]] void Fail(int error);

  std::string target_;
  std::string path_;
  int descriptor_ = -1;
  int interruptSlot_ = -1;  // its registration for removal on interrupt
  bool finished_ = false;
};

// Writes data to a temporary file beside path and renames it over path. Throws
// EClipvaneError naming path; the file that was there stays byte for byte.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data,
                         TFileFlush flush = TFileFlush::ffToDisk);

}  // namespace clipvane
