// The game executable: reads the command line, registers every class, and runs the engine.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/register_classes.h"
#include "engine/engine.h"
#include "engine/log.h"
#include "engine/screenshot.h"
#include "engine/text.h"

namespace {

namespace fs = std::filesystem;

// The data set next to the binary: the build's build/game/, or an install's share/lumessa/.
std::string DefaultApplicationFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  for (const fs::path& candidate : {exe.parent_path().parent_path() / "game",
                                    exe.parent_path().parent_path() / "share" / "lumessa"}) {
    if (fs::is_directory(candidate, ec)) return candidate.string();
  }
  return {};
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "lumessa: %s\n", reason.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lumessa;
  // "-install" and "-uninstall" (any letter case, first argument only) end at once.
  if (argc > 1) {
    std::string first = AsciiLower(argv[1]);
    if (first == "-install" || first == "-uninstall") return 0;
  }

  TCommandLine cmd;
  std::string error;
  if (!ParseCommandLine(argc, argv, cmd, error)) return Fail(error);
  if (cmd.help) {
    std::fputs(kCommandLineHelp, stdout);
    return 0;
  }
  if (cmd.log) SetLogEnabled(true);
  if (cmd.options.applicationFolder.empty())
    cmd.options.applicationFolder = DefaultApplicationFolder();
  if (cmd.options.applicationFolder.empty())
    return Fail("no game data found; give it with --app-dir DIR");

  try {
    RegisterAllClasses();
    Ref<TEngine> engine = Query<TEngine>(CreateObjectByType("Engine"));
    if (!engine) return Fail("the engine is not registered");
    Ref<IApplication> app = engine;
    engine->Configure(std::move(cmd.options));
    if (!app->Init(kGameDefinitionFile)) {
      app->Done();
      return Fail(engine->StartupError());
    }
    app->Run();
    if (!cmd.screenshot.empty() && !WriteScreenshot(*engine->ScreenSurface(), cmd.screenshot))
      std::fprintf(stderr, "lumessa: cannot write the screenshot %s\n", cmd.screenshot.c_str());
    app->Done();
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
