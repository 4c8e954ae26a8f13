// The shared program table: every GLSL program of the production, compiled once while loading
// so that scenes bind them by name instead of compiling their own copies. The table owns its
// programs; they go with it.
// Depends on: util/shaderprogram.
#pragma once

#include <memory>

#include "util/shaderprogram/shaderprogram.h"

// The entries of the table; each value is the entry's number, which also fixes the order in
// which the sources are requested. Most are named after their shader files.
enum class ProgramId {
    Billboard = 0,
    Black = 1,
    Blocked = 2,
    Blur = 3,
    DeferredPass1 = 4,
    DeferredPass2 = 5,
    DepthOfField = 6,
    DepthOfFieldLod = 7,
    Unused = 8,  // holds no program
    Glitch = 9,
    RadialBlur = 10,
    MultiDiffuse = 11,
    MultiDiffuseTwoSided = 12,
    MultiDiffuseBump = 13,
    MultiDiffuseBumpTwoSided = 14,
    MultiMaterialNoTexture = 15,
    MultiMaterialTexture = 16,
    MultiSpecularBump = 17,
    MultiSpecularBumpExtraTexture = 18,
    UnlitCubemap = 19,
    UnlitTexture = 20,  // textured quads as they are: presenting a frame, full-screen passes
    ShadowDepthWrite = 21,
    ShadowAmbient = 22,
    ShadowAmbientTexture = 23,
    ShadowCubeSingleMaterialNoTexture = 24,
    ShadowCubeSingleMaterialTexture = 25,
    ShadowSingleMaterialNoTexture = 26,
    SingleDiffuse = 27,
    SingleDiffuseBump = 28,
    SingleDiffuseNoTexture = 29,
    SingleMaterialNoTexture = 30,
    SingleMaterialTexture = 31,
    SingleSpecularBump = 32,
    UnlitMaterialNoTexture = 33,
    UnlitMaterialTexture = 34,
    Twister = 35,
    FixedFunction = 36,  // program object 0: binding it selects the fixed-function pipeline
};

class ProgramTable {
public:
    static constexpr int ENTRY_COUNT = 37;

    ProgramTable() = default;
    ProgramTable(const ProgramTable&) = delete;
    ProgramTable& operator=(const ProgramTable&) = delete;
    ProgramTable(ProgramTable&&) noexcept = default;
    ProgramTable& operator=(ProgramTable&&) noexcept = default;

    // Builds the entries in table order; any failure ends the process with the program's report.
    void create();
    // Null for ProgramId::Unused and before create().
    ShaderProgram* entry(ProgramId id) const { return entry(static_cast<int>(id)); }
    ShaderProgram* entry(int k) const;

    // The source names of entry k (both null for the unused entry and the fixed-function one).
    static const char* vertex_source(int k);
    static const char* fragment_source(int k);

private:
    std::unique_ptr<ShaderProgram> entries[ENTRY_COUNT];
};
