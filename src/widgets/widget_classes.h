// The kind names of the widget framework in the class registry.
#pragma once

namespace lumessa {

// Registers "group_widget", "surface_widget", "linked_surface_widget", "replicator_widget",
// "rect_widget", "WidgetFactory", the resource widgets ("image_widget", "animation_widget",
// "sequence_animation_widget", "blink_widget", "text_widget", "sound_widget") and the effects
// ("appearance_effect_widget", "appearance_effects", "func_appearance_effect",
// "sequience_transition_effect"). Called once at start-up; registering twice is an error.
void RegisterWidgetClasses();

}  // namespace lumessa
