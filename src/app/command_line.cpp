#include "app/command_line.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "engine/text.h"
#include "resources/atomic_file.h"

namespace lumessa {

const char* const kCommandLineHelp =
    "Usage: lumessa [options]\n"
    "  --app-dir DIR        the game data (default: the data set next to the program)\n"
    "  --user-dir DIR       where options and profiles are kept (default: the per-user folder)\n"
    "  --headless           no window, no sound; a virtual clock\n"
    "  --frames N           end after N frames\n"
    "  --frame-ms MS        headless frame length (default 10)\n"
    "  --input FILE         scripted input, one event a line: FRAME VERB ARGS\n"
    "  --screenshot FILE    write the screen as PNG after the last frame\n"
    "  --screenshot-at F:FILE  the same right after frame F (repeatable)\n"
    "  --seed N             seed the random generator\n"
    "  --fullscreen, --windowed  override the stored display mode for this run\n"
    "  --mute               no sound\n"
    "  --log                say why files, resources or objects were skipped\n";

namespace {

std::string Absolute(std::string_view path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
  return ec ? std::string(path) : p.lexically_normal().string();
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& out, std::string& error) {
  TEngineOptions& o = out.options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    auto number = [&](int64_t min, int64_t max, int64_t& n) {
      std::string_view v;
      if (!value(v)) return false;
      auto parsed = ParseInt(v);
      if (!parsed || *parsed < min || *parsed > max) {
        error = std::string(arg) + " needs a number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
      }
      n = *parsed;
      return true;
    };
    std::string_view v;
    int64_t n = 0;
    if (arg == "--help" || arg == "-h") {
      out.help = true;
    } else if (arg == "--app-dir") {
      if (!value(v)) return false;
      o.applicationFolder = Absolute(v);
    } else if (arg == "--user-dir") {
      if (!value(v)) return false;
      o.userDataFolder = Absolute(v);
      if (!CreateFolders(o.userDataFolder)) {
        error = "cannot create the user folder " + o.userDataFolder;
        return false;
      }
    } else if (arg == "--headless") {
      o.platform = TPlatformKind::Headless;
    } else if (arg == "--frames") {
      if (!number(1, 1 << 30, n)) return false;
      o.frames = int(n);
    } else if (arg == "--frame-ms") {
      if (!number(1, 10000, n)) return false;
      o.headlessFrameMs = uint32_t(n);
    } else if (arg == "--input") {
      if (!value(v)) return false;
      std::ifstream in{std::string(v), std::ios::binary};
      if (!in) {
        error = "cannot read the input script " + std::string(v);
        return false;
      }
      std::stringstream text;
      text << in.rdbuf();
      if (!o.input.Parse(text.str(), error)) return false;
    } else if (arg == "--screenshot") {
      if (!value(v)) return false;
      out.screenshot = Absolute(v);
    } else if (arg == "--screenshot-at") {
      if (!value(v)) return false;
      size_t colon = v.find(':');
      auto frame = colon == std::string_view::npos ? std::nullopt : ParseInt(v.substr(0, colon));
      if (!frame || *frame < 1 || *frame > (1 << 30) || colon + 1 >= v.size()) {
        error = "--screenshot-at needs F:FILE, F a frame number from 1";
        return false;
      }
      o.screenshotsAt.emplace_back(int(*frame), Absolute(v.substr(colon + 1)));
    } else if (arg == "--seed") {
      std::string_view s;
      if (!value(s)) return false;
      auto seed = ParseInt(s);
      if (!seed) {
        error = "--seed needs a number";
        return false;
      }
      o.seed = uint64_t(*seed);
    } else if (arg == "--fullscreen") {
      o.fullScreen = true;
    } else if (arg == "--windowed") {
      o.fullScreen = false;
    } else if (arg == "--mute") {
      o.mute = true;
    } else if (arg == "--log") {
      out.log = true;
    } else {
      error = "unknown option " + std::string(arg) + " (see --help)";
      return false;
    }
  }
  return true;
}

}  // namespace lumessa
