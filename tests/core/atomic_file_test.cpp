// Saving over an existing file: the target is replaced by a rename, never rewritten where it
// lies, so a second hard link keeps the old bytes and a failed save leaves the old file whole.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/error.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A file size limit for this process while it lives, with the signal that would end the
// process ignored: a write past the limit then fails with EFBIG, as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved_.rlim_max};
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
  bool Active() const { return active_; }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = SIG_DFL;
  bool active_ = false;
};

class AtomicSave : public ::testing::TestWithParam<TFileFlush> {
 protected:
  void SetUp() override {
    fixtures::WriteTextFile(target_, "the picture that was there");
    ASSERT_EQ(::link(target_.c_str(), link_.c_str()), 0);
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string target_ = temp_.File("picture.bmp");
  std::string link_ = temp_.File("second-link.bmp");
};

TEST_P(AtomicSave, ReplacesTheTargetByRenameSoTheOtherLinkKeepsTheOldBytes) {
  WriteFileAtomically(target_, Bytes("the new picture"), GetParam());
  EXPECT_EQ(Slurp(target_), "the new picture");
  EXPECT_EQ(Slurp(link_), "the picture that was there");
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"picture.bmp", "second-link.bmp"}));

  // The saved file has the permissions any new file gets in that folder.
  const std::string plain = temp_.File("plain");
  fixtures::WriteTextFile(plain, "x");
  struct stat saved {
  }, expected{};
  ASSERT_EQ(::stat(target_.c_str(), &saved), 0);
  ASSERT_EQ(::stat(plain.c_str(), &expected), 0);
  EXPECT_EQ(saved.st_mode & 07777, expected.st_mode & 07777);
}

TEST_P(AtomicSave, AFailedSaveLeavesTheOldFileByteForByte) {
  const std::vector<std::uint8_t> large(64 * 1024, 0xA5);
  {
    TFileSizeLimit limit(1000);
    ASSERT_TRUE(limit.Active());
    try {
      WriteFileAtomically(target_, large, GetParam());
      ADD_FAILURE() << "a save past the file size limit succeeded";
    } catch (const EClipvaneError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Cannot write file \"" + target_ + "\": ", 0), 0u) << error.what();
    }
  }
  EXPECT_EQ(Slurp(target_), "the picture that was there");
  EXPECT_EQ(Slurp(link_), "the picture that was there");
  EXPECT_EQ(Names(temp_.Path()), (std::vector<std::string>{"picture.bmp", "second-link.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(FlushedAndNot, AtomicSave, ::testing::Values(TFileFlush::ffToDisk, TFileFlush::ffBySystem),
                         [](const auto& flushed) {
                           return flushed.param == TFileFlush::ffToDisk ? "ToDisk" : "BySystem";
                         });

TEST(AtomicSaveFailure, AFolderThatIsNotThereNamesTheFile) {
  fixtures::TTempFolder temp(CLIPVANE_TEST_TMP);
  const std::string target = temp.File("missing/picture.gif");
  try {
    WriteFileAtomically(target, Bytes("GIF89a"));
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const EClipvaneError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + target + "\": No such file or directory");
  }
  EXPECT_TRUE(Names(temp.Path()).empty());
}

TEST(AtomicSaveFailure, AnUncommittedTemporaryFileIsRemoved) {
  fixtures::TTempFolder temp(CLIPVANE_TEST_TMP);
  std::string path;
  {
    TTemporaryFile file(temp.File("out.gif"));
    path = file.Path();
    file.Write(Bytes("half a GIF"));
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(temp.Path()));
    EXPECT_TRUE(fs::exists(path));
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(Names(temp.Path()).empty());
}

}  // namespace
}  // namespace clipvane
