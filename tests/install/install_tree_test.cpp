// `make install` into a scratch DESTDIR: the tree holds both programs, the help page, the menu
// entry, the icon in every size, the man pages, the bash completion and the package's
// copyright and changelog, nothing else; and the installed program runs from there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Output(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return text;
  char buffer[4096];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, count);
  ::pclose(pipe);
  return text;
}

// The path single-quoted for the shell. Appended piece by piece: GCC 12 warns falsely about
// "literal" + string.
std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  return quoted.append(path.string()).append("'");
}

// Width and height from a PNG's header chunk.
std::pair<int, int> PngSize(const fs::path& path) {
  const std::string bytes = Slurp(path);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  const auto word = [&](std::size_t at) {
    int value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  return {word(16), word(20)};
}

class InstallTree : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string command = "DESTDIR=";
    command.append(Quoted(temp_.Path())).append(" cmake --install ").append(Quoted(CLIPVANE_BUILD_DIR));
    command.append(" --prefix /usr > ").append(Quoted(temp_.File("install.log"))).append(" 2>&1");
    ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(temp_.File("install.log"));
  }

  fs::path Root() const { return fs::path(temp_.Path()) / "usr"; }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(InstallTree, HoldsEveryFileAndNothingElse) {
  std::set<std::string> expected = {"bin/clipvane-cli", "share/man/man1/clipvane-cli.1.gz",
                                    "share/bash-completion/completions/clipvane-cli", "share/doc/clipvane/copyright",
                                    "share/doc/clipvane/changelog.gz"};
#ifdef CLIPVANE_GUI_BUILT
  expected.insert({"bin/clipvane", "share/man/man1/clipvane.1.gz", "share/clipvane/help/index.html",
                   "share/applications/clipvane.desktop", "share/icons/hicolor/scalable/apps/clipvane.svg",
                   "share/icons/hicolor/48x48/apps/clipvane.png", "share/icons/hicolor/128x128/apps/clipvane.png",
                   "share/icons/hicolor/256x256/apps/clipvane.png"});
#endif
  std::set<std::string> installed;
  for (const auto& entry : fs::recursive_directory_iterator(Root()))
    if (!entry.is_directory()) installed.insert(fs::relative(entry.path(), Root()).string());
  EXPECT_EQ(installed, expected);

  for (const char* page : {"clipvane-cli", "clipvane"}) {
    const fs::path path = Root() / "share/man/man1" / (std::string(page) + ".1.gz");
    if (!fs::exists(path)) continue;
    // The page's name in capitals, its hyphen escaped for roff.
    std::string title = ".TH ";
    for (const char* c = page; *c; ++c)
      title += *c == '-' ? std::string("\\-") : std::string(1, static_cast<char>(std::toupper(*c)));
    title += " 1 ";
    EXPECT_EQ(Output(std::string("gzip -dc ").append(Quoted(path)).append(" | head -n 1")).rfind(title, 0), 0u) << path;
  }
  EXPECT_NE(Slurp(Root() / "share/bash-completion/completions/clipvane-cli")
                .find("\ncomplete -o filenames -F _clipvane_cli clipvane-cli\n"),
            std::string::npos);
}

TEST_F(InstallTree, TheInstalledProgramRuns) {
  const std::string version = Output(Quoted(Root() / "bin/clipvane-cli") + " --version");
  EXPECT_EQ(version.rfind("clipvane-cli 4.", 0), 0u) << version;
  const std::string help = Output(Quoted(Root() / "bin/clipvane-cli") + " help extract");
  EXPECT_EQ(help.rfind("usage: clipvane-cli extract VIDEO OUTDIR [options]\n", 0), 0u) << help;
}

#ifdef CLIPVANE_GUI_BUILT
TEST_F(InstallTree, TheMenuEntryStartsTheProgramWithItsIconAndHelp) {
  const std::string entry = Slurp(Root() / "share/applications/clipvane.desktop");
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Clipvane\n", "\nExec=clipvane %f\n",
                           "\nIcon=clipvane\n", "\nCategories=AudioVideo;Video;Graphics;\n", "\nTerminal=false\n"})
    EXPECT_NE(entry.find(line), std::string::npos) << line << " in " << entry;
  EXPECT_NE(entry.find("\nMimeType=video/x-msvideo;"), std::string::npos) << entry;
  // Every container the open dialog offers, so that a file manager offers the program for them.
  for (const char* type : {";video/mp4;", ";video/quicktime;", ";video/x-matroska;", ";video/webm;", ";video/mp2t;"})
    EXPECT_NE(entry.find(type), std::string::npos) << type << " in " << entry;
  EXPECT_NE(entry.find("\nComment="), std::string::npos) << entry;

  for (const int size : {48, 128, 256}) {
    const std::string side = std::to_string(size);
    EXPECT_EQ(PngSize(Root() / ("share/icons/hicolor/" + side + "x" + side + "/apps/clipvane.png")),
              std::make_pair(size, size));
  }
  EXPECT_EQ(Slurp(Root() / "share/clipvane/help/index.html"), Slurp(CLIPVANE_SOURCE_DIR "/docs/help/index.html"));
  // The window program answers --help without a display.
  const std::string help = Output(Quoted(Root() / "bin/clipvane") + " --help");
  EXPECT_EQ(help.rfind("usage: clipvane [VIDEO]\n", 0), 0u) << help;
}
#endif

}  // namespace
}  // namespace clipvane
