// The shared program table: every GLSL program of the production, compiled once while loading
// so that scenes bind them by number instead of compiling their own copies. Entry 8 is empty;
// entry 36 is the fixed-function pipeline (program object 0).
// Depends on: util/shaderprogram.
#pragma once

#include "util/shaderprogram/shaderprogram.h"

class ProgramTable {
public:
    static constexpr int ENTRY_COUNT = 37;
    static constexpr int FIXED_FUNCTION = 36;

    // Builds the entries in table order; any failure ends the process with the program's report.
    void create();
    ShaderProgram* entry(int k) const;

    // The source names of entry k (both null for entries 8 and 36).
    static const char* vertex_source(int k);
    static const char* fragment_source(int k);

private:
    // Programs live until the process ends, as ShaderProgram requires.
    ShaderProgram* entries[ENTRY_COUNT] = {};
};
