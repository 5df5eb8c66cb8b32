#include "widgets/widget_classes.h"

#include "widgets/decorate_widget.h"
#include "widgets/effects.h"
#include "widgets/image_widgets.h"
#include "widgets/sound_widget.h"
#include "widgets/surface_widgets.h"
#include "widgets/text_widget.h"
#include "widgets/widget_factory.h"
#include "widgets/widget_group.h"

namespace lumessa {

void RegisterWidgetClasses() {
  RegisterObjectClass<TVisualGroupWidget>("group_widget");
  RegisterObjectClass<TSurfaceWidget>("surface_widget");
  RegisterObjectClass<TLinkedSurfaceWidget>("linked_surface_widget");
  RegisterObjectClass<TReplicatorWidget>("replicator_widget");
  RegisterObjectClass<TRectWidget>("rect_widget");
  RegisterObjectClass<TWidgetFactory>("WidgetFactory");

  RegisterObjectClass<TImageWidget>("image_widget");
  RegisterObjectClass<TAnimationWidget>("animation_widget");
  RegisterObjectClass<TSequenceAnimationWidget>("sequence_animation_widget");
  RegisterObjectClass<TBlinkWidget>("blink_widget");
  RegisterObjectClass<TTextWidget>("text_widget");
  RegisterObjectClass<TSoundWidget>("sound_widget");

  RegisterObjectClass<TAppearanceEffectWdiget>("appearance_effect_widget");
  RegisterObjectClass<TAppearanceEffectCollection>("appearance_effects");
  RegisterObjectClass<TFunctionAppearanceEffect>("func_appearance_effect");
  RegisterObjectClass<TSequienceTransitionEffectWdiget>("sequience_transition_effect");
}

}  // namespace lumessa
