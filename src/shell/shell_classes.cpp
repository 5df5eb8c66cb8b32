#include "shell/shell_classes.h"

#include "shell/controls.h"
#include "shell/game.h"

namespace lumessa {

void RegisterShellClasses() {
  RegisterObjectClass<TGame>("Game");
  RegisterObjectClass<TGameScreen>("GameScreen");
  RegisterObjectClass<TGameScreenQueryDialog>("GameScreenQueryDialog");
  RegisterControlClasses();
}

}  // namespace lumessa
