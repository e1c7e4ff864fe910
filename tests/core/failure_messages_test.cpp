// What the user reads when something fails: the working-memory budget and its message, a
// folder named as one, and library errors turned into words instead of their internal text.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "core/bitmap.h"
#include "core/error.h"
#include "core/memory_budget.h"
#include "support/avi_fixtures.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

std::string MessageOf(const std::function<void()>& fail) {
  try {
    fail();
  } catch (const std::exception& error) {
    return ErrorMessageOf(error);
  }
  return "no error";
}

TEST(ErrorMessages, LibraryErrorsAreWordsNotInternals) {
  EXPECT_EQ(MessageOf([] { throw EClipvaneError("Failed to open AVI file"); }), "Failed to open AVI file");
  EXPECT_EQ(MessageOf([] { throw std::bad_alloc(); }), "Not enough memory");
  // What a vector says when asked for more than it can ever hold.
  EXPECT_EQ(MessageOf([] { std::vector<bool>().assign(std::vector<bool>().max_size() + 1, true); }),
            "Not enough memory");
  EXPECT_EQ(MessageOf([] { (void)std::vector<int>{1}.at(5); }), "Internal error");
  EXPECT_EQ(MessageOf([] { throw std::system_error(std::make_error_code(std::errc::no_space_on_device)); }),
            std::make_error_code(std::errc::no_space_on_device).message());
}

// One rule for every front end: the window keeps a failure's own message and names the file
// beside it when the message does not; a command line reads "FILE: what is wrong".
TEST(ErrorMessages, AFailureOfAFileIsNamedOnceInEachFrontEnd) {
  struct TCase {
    EClipvaneError Error;
    std::string Window, CommandLine;
  };
  const std::vector<TCase> cases = {
      {EClipvaneError("Failed to open AVI file"), "Failed to open AVI file", "Failed to open AVI file"},
      {EClipvaneError("Failed to open AVI file", "clip.avi", "the file is empty"),
       "Failed to open AVI file.\nclip.avi: the file is empty", "clip.avi: the file is empty"},
      // A message that ends in a quote takes no full stop, and the next line starts anew.
      {EClipvaneError("No \"x\"", "a b.avi", "the file is empty"), "No \"x\"\na b.avi: the file is empty",
       "a b.avi: the file is empty"},
      {EClipvaneError("No such file or directory", "/v/a.avi", "No such file or directory"),
       "No such file or directory.\n/v/a.avi", "/v/a.avi: No such file or directory"},
      {EClipvaneError("", "/v/clip.mkv", "not a video file this program can read"),
       "/v/clip.mkv: not a video file this program can read", "/v/clip.mkv: not a video file this program can read"},
      {EClipvaneError("Corrupt index in \"/v/a.avi\"", "/v/a.avi", "the index is corrupt"),
       "Corrupt index in \"/v/a.avi\"", "/v/a.avi: the index is corrupt"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ErrorMessageOf(c.Error), c.Window);
    EXPECT_EQ(CommandLineMessageOf(c.Error), c.CommandLine);
  }
  EXPECT_EQ(CommandLineMessageOf(std::bad_alloc()), "Not enough memory");
}

TEST(ErrorMessages, WorkOnAFileNamesItInEveryError) {
  const auto failureOf = [](const std::function<void()>& fail) -> EClipvaneError {
    try {
      ForFile("in.png", fail);
    } catch (const EClipvaneError& error) {
      return error;
    }
    return EClipvaneError("no error");
  };
  const EClipvaneError invalid = failureOf([] { throw EClipvaneError("Invalid PNG file: no PNG signature"); });
  EXPECT_STREQ(invalid.what(), "Invalid PNG file: no PNG signature");  // the window's text stays
  EXPECT_EQ(CommandLineMessageOf(invalid), "in.png: invalid PNG file: no PNG signature");
  const EClipvaneError system =
      failureOf([] { throw std::system_error(std::make_error_code(std::errc::permission_denied)); });
  EXPECT_EQ(system.File(), "in.png");
  // An error that names its file already keeps it.
  const EClipvaneError named = failureOf([] { throw EClipvaneError("", "other.png", "the file is empty"); });
  EXPECT_EQ(CommandLineMessageOf(named), "other.png: the file is empty");
  // Not a failure of the file: it travels on as it is.
  EXPECT_THROW(ForFile("in.png", [] { throw std::bad_alloc(); }), std::bad_alloc);
  EXPECT_EQ(ForFile("in.png", [] { return 7; }), 7);

  EXPECT_EQ(InWords("The AVI frame is not valid"), "the AVI frame is not valid");
  EXPECT_EQ(InWords("AVI frame"), "AVI frame");
  EXPECT_EQ(InWords("Invalid data"), "invalid data");
  EXPECT_EQ(InWords(""), "");
}

TEST(ErrorMessages, AFolderReadAsAFileIsNamedAsOne) {
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  try {
    ReadFileBytes(folder.Path());
    ADD_FAILURE() << "a folder was read as a file";
  } catch (const EClipvaneError& error) {
    EXPECT_EQ(std::string(error.what()), "\"" + folder.Path() + "\" is a folder");
  }
}

TEST(WorkingMemoryBudget, RefusesAboveTheBudgetNamingSizeAndNeed) {
  EXPECT_NO_THROW(CheckWorkingMemory(100, 100, 1000, 1000));
  try {
    CheckWorkingMemory(16384, 16384, 3'100'000'000, 2'000'000'000);
    ADD_FAILURE() << "not refused";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "The picture is 16384 x 16384: it needs 3.1 GB of memory to process");
  }
  EXPECT_EQ(MemoryText(420'400'000), "420 MB");
  EXPECT_EQ(MemoryText(1000), "1 MB");
}

TEST(WorkingMemoryBudget, IsHalfOfWhatTheProcessMayUseAndAtMostFourGigabytes) {
  const std::uint64_t budget = WorkingMemoryBudget();
  EXPECT_GT(budget, 0u);
  EXPECT_LE(budget, std::uint64_t{4} << 30);
  if (fixtures::UnderAddressSanitizer())
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set";
  const fixtures::TBoundedRun run = fixtures::RunBounded(
      [] { return WorkingMemoryBudget() == (std::uint64_t{600} << 20) / 2 ? 0 : 1; }, std::uint64_t{600} << 20);
  EXPECT_EQ(run.ExitCode, 0);
}

}  // namespace
}  // namespace clipvane
