#include "app/register_classes.h"

#include "engine/engine.h"
#include "math/function.h"
#include "persistence/persist_object.h"
#include "resources/resource_catalogue.h"
#include "resources/sound.h"
#include "shell/shell_classes.h"
#include "widgets/widget_classes.h"

namespace lumessa {

void RegisterAllClasses() {
  RegisterEngineClasses();
  RegisterPersistenceClasses();
  RegisterResourceClasses();
  RegisterSoundClasses();
  RegisterMathClasses();
  RegisterWidgetClasses();
  RegisterShellClasses();
}

}  // namespace lumessa
