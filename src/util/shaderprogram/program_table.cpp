// The program table: source names per entry and their construction in table order. The order
// matters in archive write mode, which records the sources in the order they are requested.
#include "util/shaderprogram/program_table.h"

#include "platform/fatal.h"

namespace {

struct Sources {
    const char* vertex;
    const char* fragment;
};

const Sources table[ProgramTable::ENTRY_COUNT] = {
    {"billboard.vert", "billboard.frag"},
    {"simple.vert", "black.frag"},
    {"simple.vert", "blocked.frag"},
    {"simple.vert", "blur.frag"},
    {"deferred_pass1.vert", "deferred_pass1.frag"},
    {"deferred_pass2.vert", "deferred_pass2.frag"},
    {"simple.vert", "dof.frag"},
    {"simple.vert", "dof_lod.frag"},
    {nullptr, nullptr},  // unused slot
    {"simple.vert", "glitch.frag"},
    {"simple.vert", "radial_blur.frag"},
    {"multi_diffuse.vert", "multi_diffuse.frag"},
    {"multi_diffuse.vert", "multi_diffuse_2sided.frag"},
    {"multi_diffuse_bump.vert", "multi_diffuse_bump.frag"},
    {"multi_diffuse_bump.vert", "multi_diffuse_bump_2sided.frag"},
    {"multi_material_notex.vert", "multi_material_notex.frag"},
    {"multi_material_tex.vert", "multi_material_tex.frag"},
    {"multi_specular_bump.vert", "multi_specular_bump.frag"},
    {"multi_specular_bump_extratex.vert", "multi_specular_bump_extratex.frag"},
    {"nolight_cubemap.vert", "nolight_cubemap.frag"},
    {"simple.vert", "nolight_tex.frag"},
    {"shadow_depthwrite.vert", "shadow_depthwrite.frag"},
    {"shadow_ambient.vert", "shadow_ambient.frag"},
    {"shadow_ambient_tex.vert", "shadow_ambient_tex.frag"},
    {"shadow_cube_single_material_notex.vert", "shadow_cube_single_material_notex.frag"},
    {"shadow_cube_single_material_tex.vert", "shadow_cube_single_material_tex.frag"},
    {"shadow_single_material_notex.vert", "shadow_single_material_notex.frag"},
    {"single_diffuse.vert", "single_diffuse.frag"},
    {"single_diffuse_bump.vert", "single_diffuse_bump.frag"},
    {"single_diffuse_notex.vert", "single_diffuse_notex.frag"},
    {"single_material_notex.vert", "single_material_notex.frag"},
    {"single_material_tex.vert", "single_material_tex.frag"},
    {"single_specular_bump.vert", "single_specular_bump.frag"},
    {"none_material_notex.vert", "none_material_notex.frag"},
    {"none_material_tex.vert", "none_material_tex.frag"},
    {"twister.vert", "multi_specular_bump.frag"},
    {nullptr, nullptr},  // the fixed-function pipeline
};

static_assert(static_cast<int>(ProgramId::FixedFunction) + 1 == ProgramTable::ENTRY_COUNT,
              "every entry has a name");

}  // namespace

const char* ProgramTable::vertex_source(int k) {
    ZV_ASSERT(k >= 0 && k < ENTRY_COUNT);
    return table[k].vertex;
}

const char* ProgramTable::fragment_source(int k) {
    ZV_ASSERT(k >= 0 && k < ENTRY_COUNT);
    return table[k].fragment;
}

void ProgramTable::create() {
    for (int k = 0; k < ENTRY_COUNT; ++k) {
        if (k == static_cast<int>(ProgramId::Unused)) continue;
        entries[k] = k == static_cast<int>(ProgramId::FixedFunction)
                         ? std::make_unique<ShaderProgram>()
                         : std::make_unique<ShaderProgram>(table[k].vertex, table[k].fragment);
    }
}

ShaderProgram* ProgramTable::entry(int k) const {
    ZV_ASSERT(k >= 0 && k < ENTRY_COUNT);
    return entries[k].get();
}
