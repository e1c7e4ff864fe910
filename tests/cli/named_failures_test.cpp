// Every clipvane-cli failure on a file it reads says which file and what is wrong with it, in
// words, and exits 1: videos given to info, frame, extract and gif, and the pictures of a
// transition.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;
using cli_test::TCliRun;

class NamedFailures : public ::testing::Test {
 protected:
  TCliRun Run(const std::vector<std::string>& args) { return RunCli(args, temp_); }
  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(NamedFailures, EveryVideoCommandNamesTheFileAndWhatIsWrong) {
  const std::string letter = temp_.File("bad.avi");
  fixtures::WriteTextFile(letter, "This is a letter, not a video.\n");
  const std::string empty = temp_.File("empty.avi");
  fixtures::WriteEmptyFile(empty);
  const std::string emptyMkv = temp_.File("empty.mkv");
  fixtures::WriteEmptyFile(emptyMkv);
  const std::string notes = temp_.File("notes.mp4");
  fixtures::WriteTextFile(notes, "This is a letter, not a video.\n");
  const std::string audio = temp_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(audio);
  const std::string folder = temp_.File("folder.avi");
  fs::create_directory(folder);
  const std::vector<std::pair<std::string, std::string>> files = {
      {letter, "not a video file this program can read"},
      {empty, "the file is empty"},
      {emptyMkv, "the file is empty"},
      {notes, "not a video file this program can read"},
      {audio, "the file has no video stream"},
      {folder, "a folder, not a file"},
  };
  const std::string out = temp_.File("out");
  for (const auto& [file, problem] : files)
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", file},
                                                 {"frame", file, "0", out + ".bmp"},
                                                 {"extract", file, out},
                                                 {"gif", file, out + ".gif"}}) {
      const TCliRun run = Run(args);
      EXPECT_EQ(run.status, 1) << args[0] << " " << file;
      EXPECT_EQ(run.err, "clipvane-cli: " + file + ": " + problem + ".\n") << args[0];
      EXPECT_EQ(run.out, "") << args[0];
    }
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(out + ".bmp"));
  EXPECT_FALSE(fs::exists(out + ".gif"));
}

TEST_F(NamedFailures, ATransitionNamesThePictureItCannotRead) {
  const std::string png = temp_.File("bad.png");
  fixtures::WriteTextFile(png, "This is a letter, not a picture.\n");
  const std::string bmp = temp_.File("empty.bmp");
  fixtures::WriteEmptyFile(bmp);
  const std::string missing = temp_.File("missing.jpg");
  const std::string notes = temp_.File("notes.xyz");
  fixtures::WriteTextFile(notes, "words");
  const std::vector<std::pair<std::string, std::string>> pictures = {
      {png, "invalid PNG file: no PNG signature"},
      {missing, "No such file or directory"},
      {notes, "unsupported picture format: notes.xyz"},
  };
  for (const auto& [picture, problem] : pictures)
    for (const bool first : {true, false}) {
      const TCliRun run =
          Run({"transition", first ? picture : "empty", first ? "empty" : picture, temp_.File("out.gif")});
      EXPECT_EQ(run.status, 1) << picture;
      EXPECT_EQ(run.err, "clipvane-cli: " + picture + ": " + problem + ".\n");
    }
  // A file cut short names itself too, with the reader's words.
  const TCliRun run = Run({"transition", bmp, "empty", temp_.File("out.gif")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("clipvane-cli: " + bmp + ": ", 0), 0u) << run.err;
  EXPECT_FALSE(fs::exists(temp_.File("out.gif")));
}

}  // namespace
}  // namespace clipvane
