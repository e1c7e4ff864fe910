// The temporary file of a save and the whole-file writer over it.
#include "core/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/interrupt_cleanup.h"

namespace clipvane {

namespace {

// Six characters that differ between processes, threads and calls; a name that is taken
// anyway is found by O_EXCL and another one is tried.
std::string RandomSuffix() {
  static std::atomic<std::uint64_t> calls{0};
  std::uint64_t bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (static_cast<std::uint64_t>(::getpid()) << 32) ^ (++calls * 0x9E3779B97F4A7C15u);
  // splitmix64's finaliser, so that neighbouring inputs give unrelated names.
  bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9u;
  bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBu;
  bits ^= bits >> 31;
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix;
  for (int i = 0; i < 6; ++i, bits /= 62) suffix += kLetters[bits % 62];
  return suffix;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

TTemporaryFile::TTemporaryFile(const std::string& target) : target_(target) {
  const std::string folder = FolderOf(target);
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    path_ = folder + "/.clipvane-" + RandomSuffix();
    // Registered before it exists, so that no moment is left in which an interrupt would
    // leave the file behind.
    interruptSlot_ = RegisterTemporaryFile(path_);
    // Mode 0666 through the umask: the file gets the permissions of any new file, so the
    // rename leaves no private file behind.
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = descriptor_ < 0 ? errno : 0;
    TemporaryFileCreated(interruptSlot_);
    if (descriptor_ < 0) UnregisterTemporaryFile(std::exchange(interruptSlot_, -1));
  }
  if (descriptor_ < 0)
    throw EClipvaneError("Cannot create file \"" + target + "\": " + std::strerror(error), target,
                         std::string("cannot be created: ") + std::strerror(error));
}

TTemporaryFile::~TTemporaryFile() { Remove(); }

void TTemporaryFile::Write(std::span<const std::uint8_t> data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(descriptor_, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : ENOSPC);
    written += static_cast<std::size_t>(n);
  }
}

void TTemporaryFile::Commit(TFileFlush flush) {
  if (flush == TFileFlush::ffToDisk && ::fsync(descriptor_) != 0) Fail(errno);
  const int descriptor = std::exchange(descriptor_, -1);
  if (::close(descriptor) != 0) Fail(errno);
  if (std::rename(path_.c_str(), target_.c_str()) != 0) Fail(errno);
  finished_ = true;
  UnregisterTemporaryFile(std::exchange(interruptSlot_, -1));
}

void TTemporaryFile::Remove() noexcept {
  if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
  if (finished_) return;
  finished_ = true;
  ::unlink(path_.c_str());
  UnregisterTemporaryFile(std::exchange(interruptSlot_, -1));
}

void TTemporaryFile::Fail(int error) {
  Remove();
  throw EClipvaneError("Cannot write file \"" + target_ + "\": " + std::strerror(error), target_,
                       std::string("cannot be written: ") + std::strerror(error));
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data, TFileFlush flush) {
  TTemporaryFile file(path);
  file.Write(data);
  file.Commit(flush);
}

}  // namespace clipvane
