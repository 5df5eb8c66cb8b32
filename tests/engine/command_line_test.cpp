#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/test_files.h"

namespace lumessa {
namespace {

bool Parse(std::vector<const char*> args, TCommandLine& out, std::string& error) {
  args.insert(args.begin(), "lumessa");
  return ParseCommandLine(int(args.size()), args.data(), out, error);
}

TEST(CommandLineTest, OptionsAndRelativePaths) {
  auto folder = test::MakeTestFolder();
  test::WriteFile(folder / "in.txt", "3 close\n");
  std::filesystem::current_path(folder);
  TCommandLine cmd;
  std::string error;
  ASSERT_TRUE(Parse({"--headless", "--app-dir", "game", "--user-dir", "user/sub", "--frames", "12",
                     "--frame-ms", "16", "--input", "in.txt", "--screenshot", "out.png",
                     "--screenshot-at", "5:shot5.png", "--seed", "42", "--fullscreen", "--log"},
                    cmd, error))
      << error;
  const TEngineOptions& o = cmd.options;
  EXPECT_EQ(o.platform, TPlatformKind::Headless);
  EXPECT_EQ(o.applicationFolder, (folder / "game").string());
  EXPECT_TRUE(std::filesystem::is_directory(folder / "user/sub"));  // created when missing
  EXPECT_EQ(o.frames, 12);
  EXPECT_EQ(o.headlessFrameMs, 16u);
  EXPECT_EQ(o.input.LastFrame(), 3);
  EXPECT_EQ(cmd.screenshot, (folder / "out.png").string());
  ASSERT_EQ(o.screenshotsAt.size(), 1u);
  EXPECT_EQ(o.screenshotsAt[0], (std::pair<int, std::string>{5, (folder / "shot5.png").string()}));
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.fullScreen, true);
  EXPECT_TRUE(cmd.log);
}

TEST(CommandLineTest, BadArgumentsGiveOneLine) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--frames"}, "--frames needs a value"},
      {{"--frames", "0"}, "--frames needs a number from 1 to 1073741824"},
      {{"--frame-ms", "x"}, "--frame-ms needs a number from 1 to 10000"},
      {{"--screenshot-at", "out.png"}, "--screenshot-at needs F:FILE, F a frame number from 1"},
      {{"--input", "/no/such/script"}, "cannot read the input script /no/such/script"},
      {{"--bogus"}, "unknown option --bogus (see --help)"},
  };
  for (const Case& c : cases) {
    TCommandLine cmd;
    std::string error;
    EXPECT_FALSE(Parse(c.args, cmd, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace lumessa
