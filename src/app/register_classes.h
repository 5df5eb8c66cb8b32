// Registers every creatable class of the program, once, at start-up.
#pragma once

namespace lumessa {

void RegisterAllClasses();

}  // namespace lumessa
