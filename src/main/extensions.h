// The OpenGL extensions the effects need, and the question asked when some are missing.
#pragma once

#include <string>
#include <vector>

// The GLEW flags that the driver does not offer, by name, in checking order.
// Needs a current GL context with GLEW initialised.
std::vector<std::string> missing_required_extensions();

// The question's text for the given missing names; empty when none is missing.
std::string missing_extensions_message(const std::vector<std::string>& missing);

// Asks whether to go on when extensions are missing; anything but OK ends the process (1).
void check_required_extensions();
