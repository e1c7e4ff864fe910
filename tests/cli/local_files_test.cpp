// A name given for a video is the name of a local file, whatever it looks like: no FFmpeg
// protocol (concat:, pipe:, http:, file:) is ever followed, and a local file whose name looks
// like one opens as that file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCliIn;
using cli_test::TCliRun;

// A TCP port on this machine that notes whether anything connected to it.
class TListener {
 public:
  TListener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
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
  // True when a connection is waiting: the kernel accepts it for us even before accept().
  bool Connected() const {
    const int connection = ::accept(socket_, nullptr, nullptr);
    if (connection < 0) return false;
    ::close(connection);
    return true;
  }

 private:
  int socket_ = -1;
  int port_ = 0;
};

class LocalFilesOnly : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(folder_);
    for (const auto& [name, frames] : {std::pair{"five.avi", 5}, std::pair{"seven.avi", 7}}) {
      fixtures::TFixtureAvi avi;
      avi.FrameCount = frames;
      fixtures::WriteFixtureAvi(folder_ + "/" + name, avi);
    }
  }

  // The commands that open a video, each given `name` as its video.
  std::vector<std::vector<std::string>> Commands(const std::string& name) const {
    return {{"info", name},
            {"frame", name, "4", temp_.File("one.bmp")},
            {"extract", name, temp_.File("frames")},
            {"gif", name, temp_.File("out.gif")}};
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
  std::string folder_ = temp_.File("here");
};

TEST_F(LocalFilesOnly, AProtocolInTheNameIsNeverFollowed) {
  TListener listener;
  const std::string five = folder_ + "/five.avi";
  // Each name, and what standard input holds: a protocol would find a video in every case.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"concat:five.avi|five.avi", ""},
      {"pipe:0.avi", five},
      {"pipe:", five},
      {"file:five.avi", ""},
      {"http://127.0.0.1:" + std::to_string(listener.Port()) + "/five.avi", ""},
  };
  for (const auto& [name, input] : names) {
    for (const auto& args : Commands(name)) {
      const TCliRun run = RunCliIn(args, temp_, folder_, input);
      EXPECT_EQ(run.status, 1) << args[0] << " " << name << ": " << run.out;
      EXPECT_EQ(run.err, "clipvane-cli: " + name + ": No such file or directory.\n") << args[0];
    }
  }
  EXPECT_FALSE(listener.Connected());
  EXPECT_FALSE(fs::exists(temp_.File("one.bmp")));
  EXPECT_FALSE(fs::exists(temp_.File("out.gif")));
}

TEST_F(LocalFilesOnly, ALocalFileNamedLikeAProtocolOpensAsThatFile) {
  // Standard input holds the five-frame video; every name below is a copy of the seven-frame one.
  const std::string five = folder_ + "/five.avi";
  fs::create_directories(folder_ + "/http:/host");
  const std::vector<std::string> names = {"pipe:0.avi", "concat:five.avi|five.avi", "file:five.avi",
                                          "http://host/x.avi"};
  for (const std::string& name : names) {
    fs::copy_file(folder_ + "/seven.avi", folder_ + "/" + name);
    TCliRun run = RunCliIn({"info", name}, temp_, folder_, five);
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_NE(run.out.find("Frames count: 7\n"), std::string::npos) << name << ": " << run.out;
    // Frame 6 exists only in the local file.
    run = RunCliIn({"frame", name, "6", temp_.File("six.bmp")}, temp_, folder_, five);
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_TRUE(fs::exists(temp_.File("six.bmp"))) << name;
    fs::remove(temp_.File("six.bmp"));
  }
}

}  // namespace
}  // namespace clipvane
