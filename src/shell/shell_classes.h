// The kind names of the game shell in the class registry.
#pragma once

namespace lumessa {

// Registers "Game", "GameScreen" and "GameScreenQueryDialog". Called once at start-up;
// registering twice is an error.
void RegisterShellClasses();

}  // namespace lumessa
