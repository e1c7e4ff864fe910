// Opening a video, the one way every reader of the video layer opens it: the choice between
// the AVI way and the container way by what the file is, only the local file of the given name
// read whatever the name looks like, and every failure naming the file with what is wrong.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/video_fixture_cases.h"
#include "video/avi_frame_reader.h"
#include "video/container_frame_reader.h"
#include "video/media_player.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

// The failure of an action; an empty error when it did not fail.
EClipvaneError FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EClipvaneError& error) {
    return error;
  }
  return EClipvaneError("");
}

// What each way of opening a video says about `path`, all the same: probe, frame source, a
// run's frame source and the player.
std::vector<EClipvaneError> FailuresOpening(const std::string& path) {
  return {FailureOf([&] { ProbeVideo(path); }), FailureOf([&] { OpenFrameSource(path); }),
          FailureOf([&] { MakeFrameSource()->Open(path); }), FailureOf([&] {
            TMediaPlayer player;
            player.SetFileName(path);
            player.Open();
          })};
}

// Runs the test from inside a folder, so that a name can be relative to it.
class TWorkingFolder {
 public:
  explicit TWorkingFolder(const std::string& folder) : before_(fs::current_path()) { fs::current_path(folder); }
  ~TWorkingFolder() { fs::current_path(before_); }
  TWorkingFolder(const TWorkingFolder&) = delete;
  TWorkingFolder& operator=(const TWorkingFolder&) = delete;

 private:
  fs::path before_;
};

// A port on this machine that tells whether anything connected to it.
class TListener {
 public:
  TListener() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(socket_, 8) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      throw std::runtime_error("no listening socket");
    port_ = ntohs(address.sin_port);
  }
  ~TListener() { ::close(socket_); }
  TListener(const TListener&) = delete;
  TListener& operator=(const TListener&) = delete;
  int Port() const { return port_; }
  bool Connected() const {
    const int connection = ::accept(socket_, nullptr, nullptr);
    if (connection >= 0) ::close(connection);
    return connection >= 0;
  }

 private:
  int socket_;
  int port_ = 0;
};

class VideoOpen : public ::testing::Test {
 protected:
  std::string Avi(const std::string& name, int frames) {
    fixtures::TFixtureAvi avi;
    avi.FrameCount = frames;
    const std::string path = folder_.File(name);
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }
  fixtures::TTempFolder folder_{CLIPVANE_TEST_TMP};
};

TEST_F(VideoOpen, ANameIsAlwaysALocalFilesName) {
  Avi("five.avi", 5);
  TWorkingFolder inside(folder_.Path());
  TListener listener;
  for (const std::string& name : {std::string("concat:five.avi|five.avi"), std::string("file:five.avi"),
                                  std::string("subfile,,start,0,end,0,,:five.avi"),
                                  "http://127.0.0.1:" + std::to_string(listener.Port()) + "/five.avi"}) {
    for (const EClipvaneError& error : FailuresOpening(name)) {
      EXPECT_EQ(error.File(), name) << error.what();
      EXPECT_EQ(error.Problem(), "No such file or directory") << name;
    }
  }
  EXPECT_FALSE(listener.Connected());

  // The same names, now local files (a copy of a seven-frame video), open as those files.
  const std::string seven = Avi("seven.avi", 7);
  fs::create_directories("http:/host");
  for (const std::string name : {"concat:five.avi|five.avi", "file:five.avi", "pipe:0.avi", "http://host/x.avi"}) {
    fs::copy_file(seven, name);
    EXPECT_EQ(ProbeVideo(name).FrameCount, 7) << name;
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(name);
    EXPECT_TRUE(reader->ReadFrame(6)) << name;
    EXPECT_EQ(fixtures::DecodeFrameNumber(reader->DecodeBitmap()), 6) << name;
    TMediaPlayer player;
    player.SetFileName(name);
    player.Open();
    player.SetTimeFormat(TMPTimeFormats::tfFrames);
    EXPECT_EQ(player.Length(), 7) << name;
  }
}

// The way is chosen by what the file holds; the name decides only for a file no demuxer reads.
TEST_F(VideoOpen, TheWayIsChosenOnceByWhatTheFileIs) {
  const std::string avi = Avi("clip.avi", 6);
  const std::string aviAsMp4 = folder_.File("avi-named.mp4");
  fs::copy_file(avi, aviAsMp4);
  const fixtures::TContainerCase mp4 = fixtures::ContainerCase("Mp4H264BFramesEditList");
  const std::string container = folder_.File("clip.mp4");
  fixtures::WriteFixtureVideo(container, mp4.Video);
  const std::string containerAsAvi = folder_.File("mp4-named.avi");
  fs::copy_file(container, containerAsAvi);
  struct TCase {
    std::string Path;
    bool Avi;
  };
  for (const TCase& c :
       {TCase{avi, true}, TCase{aviAsMp4, true}, TCase{container, false}, TCase{containerAsAvi, false}}) {
    EXPECT_EQ(ProbeVideo(c.Path).IsAvi, c.Avi) << c.Path;
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(c.Path);
    EXPECT_EQ(dynamic_cast<TAviFrameReader*>(reader.get()) != nullptr, c.Avi) << c.Path;
    EXPECT_EQ(dynamic_cast<TContainerFrameReader*>(reader.get()) != nullptr, !c.Avi) << c.Path;
    ASSERT_TRUE(reader->ReadFrame(3)) << c.Path;
    EXPECT_EQ(fixtures::DecodeFrameNumber(reader->DecodeBitmap()), 3) << c.Path;
  }
}

// Every way of opening says what is wrong with the file in words beside its own message: an
// AVI's reader its described text, the player FFmpeg's, a container the file and the words.
TEST_F(VideoOpen, EveryFailureNamesTheFileAndWhatIsWrong) {
  const std::string empty = folder_.File("empty.avi");
  fixtures::WriteEmptyFile(empty);
  const std::string emptyMkv = folder_.File("empty.mkv");
  fixtures::WriteEmptyFile(emptyMkv);
  const std::string text = folder_.File("letter.avi");
  fixtures::WriteTextFile(text, "This is a letter, not a video.\n");
  const std::string textMp4 = folder_.File("letter.mp4");
  fixtures::WriteTextFile(textMp4, "This is a letter, not a video.\n");
  const std::string audio = folder_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(audio);
  const std::string missing = folder_.File("missing.avi");
  const std::string unknown = folder_.File("unknown.avi");
  fixtures::WriteAviWithUnknownCodec(unknown);
  struct TCase {
    std::string Path, Problem;
    // What the frame reader and the player say in the window ("": the file and the words).
    std::string Reader, Player;
  };
  const std::string noData = "Invalid data found when processing input";
  const std::vector<TCase> cases = {
      {empty, "the file is empty", "Failed to open AVI file", noData},
      {emptyMkv, "the file is empty", "", ""},
      {text, "not a video file this program can read", "Failed to open AVI file", noData},
      {textMp4, "not a video file this program can read", "", ""},
      {audio, "the file has no video stream", "Failed to open AVI stream", "Stream not found"},
      {missing, "No such file or directory", "Failed to open AVI file", "No such file or directory"},
  };
  for (const TCase& c : cases) {
    const std::vector<EClipvaneError> failures = FailuresOpening(c.Path);
    for (const EClipvaneError& error : failures) {
      EXPECT_EQ(error.File(), c.Path) << error.what();
      EXPECT_EQ(error.Problem(), c.Problem) << c.Path << ": " << error.what();
    }
    const std::string named = c.Path + ": " + c.Problem;
    EXPECT_EQ(failures[1].what(), c.Reader.empty() ? named : c.Reader) << c.Path;
    EXPECT_EQ(failures[2].what(), c.Reader.empty() ? named : c.Reader) << c.Path;
    EXPECT_EQ(failures[3].what(), c.Player.empty() ? named : c.Player) << c.Path;
  }
  for (const EClipvaneError& error : FailuresOpening(folder_.Path())) {
    EXPECT_EQ(error.File(), folder_.Path());
    EXPECT_EQ(error.Problem(), "a folder, not a file");
  }
  // An unknown codec is named where the decoder is needed: by the readers and the player.
  const std::vector<EClipvaneError> failures = FailuresOpening(unknown);
  for (std::size_t i = 1; i < failures.size(); ++i)
    EXPECT_EQ(failures[i].Problem().rfind("no decoder for the video codec \"", 0), 0u) << failures[i].Problem();
  EXPECT_STREQ(failures[1].what(), "Failed to start AVI decompression");
  EXPECT_STREQ(failures[3].what(), "Decoder not found");
}

}  // namespace
}  // namespace clipvane
