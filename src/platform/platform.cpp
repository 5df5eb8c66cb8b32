#include "platform/platform.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "engine/log.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_platform.h"

extern char** environ;

namespace lumessa {

std::unique_ptr<IPlatform> CreatePlatform(TPlatformKind kind) {
  switch (kind) {
    case TPlatformKind::Sdl:
      return std::make_unique<TSdlPlatform>();
    case TPlatformKind::Headless:
      return std::make_unique<THeadlessPlatform>();
  }
  return nullptr;
}

bool LaunchDesktopOpener(std::string_view target) {
  // The target is one argument of its own: no shell ever sees it, so no text in it can run.
  std::string arg(target);
  if (arg.empty() || arg[0] == '-') return false;  // never an option to the opener
  char opener[] = "xdg-open";
  char* argv[] = {opener, arg.data(), nullptr};
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", 0, 0);
  int rc = posix_spawnp(&pid, opener, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    Log("cannot start xdg-open for %s", arg.c_str());
    return false;
  }
  // Some openers run until the program they started ends: reap it aside, never block the game.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

std::string UserDataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;  // relative values are invalid by the XDG rules
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share";
  return {};
}

}  // namespace lumessa
