// The OpenGL extensions the effects need, the question asked when some are missing, and the
// check that every GL function the engine calls through GLEW was found.
// Depends on: GLEW, platform/ui (the question), platform/fatal.
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

// Fills each extension entry point the engine calls that the driver did not hand out under its
// extension name from the core function of the same signature, where that exists; returns the
// names still missing, in a fixed order. Needs a current GL context with GLEW initialised.
std::vector<std::string> resolve_gl_entry_points();

// Ends the process with a fatal report naming the missing functions, if any: a call through a
// missing one would crash.
void check_gl_entry_points();
