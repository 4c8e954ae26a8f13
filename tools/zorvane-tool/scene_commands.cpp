// zorvane-tool scene: what a run makes of a COLLADA scene, in counts, read from the document or
// from its converted form in an archive; archives of converted scenes built as a write-mode run
// builds them; and the scene as a picture drawn by the engine's own renderer.
#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "main/extensions.h"
#include "main/startup.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"
#include "util/shaderprogram/program_table.h"

void open_tool_gl_context() {
    // A small window: SDL 1.2 has no hidden contexts, and textures are GL objects.
    int depth = init_sdl_video();
    Settings probe;
    probe.width = 64;
    probe.height = 64;
    probe.video_flags = window_flags_for(Settings{}) & ~SDL_FULLSCREEN_BIT;
    probe.vsync = 0;
    open_gl_window(probe, depth);
}

namespace {

// The scene commands draw with the engine, which calls through every checked entry point.
void open_scene_gl_context() {
    open_tool_gl_context();
    check_gl_entry_points();
}

}  // namespace

namespace {

void print_scene_info(const Objects3D& scene) {
    long long triangles = 0;
    for (const auto& object : scene.geom_objects) triangles += object->triangle_count();
    Vec3 min, max;
    scene.bounding_box(nullptr, min, max, false);
    printf("nodes %zu\n", scene.nodes.size());
    printf("meshes %zu\n", scene.meshes.size());
    printf("objects %zu triangles %lld\n", scene.geom_objects.size(), triangles);
    printf("materials %zu\n", scene.materials.size());
    printf("cameras %zu\n", scene.cameras.size());
    printf("lights %zu\n", scene.lights.size());
    printf("controllers %zu\n", scene.controllers.size());
    printf("animations %zu length %.6g\n", scene.animations.size(), scene.animation_length);
    printf("bbox %.6g %.6g %.6g %.6g %.6g %.6g\n", min.x, min.y, min.z, max.x, max.y, max.z);
}

bool parse_seconds(const char* text, float& seconds) {
    double v = 0;
    if (!parse_decimal_double(text, v) || std::fabs(v) > 1e6) return false;
    seconds = static_cast<float>(v);
    return true;
}

int info_usage() {
    fprintf(stderr, "zorvane-tool: wrong arguments for 'scene info'\n"
                    "usage: zorvane-tool scene info FILE [--archive ARCHIVE] [--time S]\n");
    return 2;
}

std::string not_collada(const char* name) { return std::string(name) + " is not a COLLADA file (.dae)"; }

}  // namespace

// FILE [--archive ARCHIVE] [--time S]: from the COLLADA file (loose files), or from the
// converted entries an archive holds under that name, as a packed build reads them; the bounding
// box with the animations and skins at S seconds (default 0).
int run_scene_info(int argc, char** argv) {
    const char* file = nullptr;
    const char* archive = nullptr;
    const char* time = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--archive") == 0 && i + 1 < argc && !archive) {
            archive = argv[++i];
        } else if (strcmp(argv[i], "--time") == 0 && i + 1 < argc && !time) {
            time = argv[++i];
        } else if (!file && strncmp(argv[i], "--", 2) != 0) {
            file = argv[i];
        } else {
            return info_usage();
        }
    }
    float seconds = 0;
    if (!file || (time && !parse_seconds(time, seconds))) return info_usage();
    set_datafile_mode(archive ? DATAFILE_MODE_READ : DATAFILE_MODE_NONE);
    if (archive) read_datafile(archive);
    open_scene_gl_context();
    int result = 0;
    {
        // The scene's textures and lights go before the context does.
        Objects3D scene;
        if (!scene.load(file)) {
            result = tool_error(not_collada(file));
        } else {
            if (seconds != 0) scene.update(seconds, false);
            print_scene_info(scene);
        }
    }
    SDL_Quit();
    return result;
}

// FILE: what the engine leaves out of the document or draws otherwise, a line each, after a
// load as a run does it (textures decoded too); a load that fails ends with its fatal report.
int run_scene_check(int argc, char** argv) {
    if (argc != 1 || strncmp(argv[0], "--", 2) == 0) {
        fprintf(stderr, "zorvane-tool: wrong arguments for 'scene check'\nusage: zorvane-tool scene check FILE\n");
        return 2;
    }
    const char* file = argv[0];
    if (lower_case_ending(file) != ".dae") return tool_error(not_collada(file));
    set_datafile_mode(DATAFILE_MODE_NONE);
    open_scene_gl_context();
    {
        // The textures go before the context does.
        SceneTables tables;
        DaeNotes notes;
        load_collada(file, tables, nullptr, &notes);
        for (const std::string& line : notes) printf("%s: %s\n", file, line.c_str());
        if (notes.empty()) printf("%s: loads as written\n", file);
        else printf("%s: loads; %zu %s above\n", file, notes.size(), notes.size() == 1 ? "difference" : "differences");
    }
    SDL_Quit();
    return 0;
}

// ARCHIVE FILE...: each scene converted as a write-mode run converts it, and the archive written
// with the converted entries and the textures the scenes asked for, in request order.
int run_scene_pack(int argc, char** argv) {
    const char* archive = argv[0];
    set_datafile_mode(DATAFILE_MODE_WRITE);
    open_scene_gl_context();
    int result = 0;
    for (int i = 1; i < argc && result == 0; ++i) {
        Objects3D scene;
        // Nothing is written unless every scene converts.
        if (!scene.load(argv[i])) result = tool_error(not_collada(argv[i]));
    }
    if (result == 0) write_datafile(archive);
    SDL_Quit();
    return result;
}

// ---- scene render ---------------------------------------------------------------------------

namespace {

const char* const RENDER_ARGUMENTS = "FILE OUT.pam [--size WxH] [--time S] [--shadows]";

int render_usage() {
    fprintf(stderr, "zorvane-tool: wrong arguments for 'scene render'\nusage: zorvane-tool scene render %s\n",
            RENDER_ARGUMENTS);
    return 2;
}

// "WxH" with both sides 1 to 8192.
bool parse_size(const char* text, int& width, int& height) {
    const char* x = strchr(text, 'x');
    if (!x) return false;
    const std::string first(text, x);
    long long w = 0, h = 0;
    if (!parse_decimal_integer(first.c_str(), 1, 8192, w) || !parse_decimal_integer(x + 1, 1, 8192, h))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// The programs the reflection cubes scene puts into slots 0 to 6, in slot order.
const ProgramId render_programs[] = {
    ProgramId::MultiMaterialNoTexture, ProgramId::MultiMaterialTexture,
    ProgramId::ShadowDepthWrite,       ProgramId::ShadowAmbient,
    ProgramId::ShadowAmbientTexture,   ProgramId::ShadowCubeSingleMaterialNoTexture,
    ProgramId::ShadowCubeSingleMaterialTexture,
};

// For a scene without a camera: one on a diagonal of the bounding box, looking at its middle,
// z up as modelling tools export.
void add_overview_camera(Objects3D& scene) {
    const Vec3 middle = scene.center(nullptr, true);
    float size = scene.size(nullptr);
    if (!(size > 0) || size > 1e6f) size = 1;
    auto camera = std::make_unique<Camera>();
    camera->set_name("overview");
    camera->set_view(middle + Vec3(0.6f, -0.9f, 0.5f) * size, middle, Vec3(0, 0, 1));
    camera->set_yfov(40);
    camera->set_clip_from_size(size);
    scene.cameras.push_back(std::move(camera));
    scene.set_camera(static_cast<int>(scene.cameras.size()) - 1);
}

// For a scene without a light that shades: a white point light above and beside the camera.
void add_default_light(Objects3D& scene) {
    for (const auto& light : scene.lights)
        if (light->get_type() != Light::AMBIENT) return;
    const Vec3 middle = scene.center(nullptr, true);
    float size = scene.size(nullptr);
    if (!(size > 0) || size > 1e6f) size = 1;
    auto light = std::make_unique<Light>();
    light->set_name("default light");
    const Vec3 p = middle + Vec3(0.4f, -0.5f, 1.0f) * size;
    light->set_position(p.x, p.y, p.z);
    light->set_range(size);
    light->attenuation_from_point(middle);
    scene.lights.push_back(std::move(light));
}

// The engine's own shaders, wherever the tool is started: under the current folder (the
// repository root), else the repository a build folder's tool sits in, else the installed copy
// in ../share/zorvane/ from the tool. Empty (the programs' own lookup) when none is there.
std::string engine_shader_folder() {
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string common = ShaderProgram::COMMON_DIRECTORY;
    if (fs::is_directory(common, error)) return common;
    const std::string program = executable_folder();
    if (program.empty()) return std::string();
    for (const char* root : {"/../", "/../share/zorvane/"}) {
        const std::string folder = (fs::path(program + root + common).lexically_normal()).string();
        if (fs::is_directory(folder, error)) return folder;
    }
    return std::string();
}

bool write_pam(const char* path, int width, int height, const std::vector<unsigned char>& rgb) {
    FILE* out = fopen(path, "wb");
    if (!out) return false;
    fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", width, height);
    // GL reads rows bottom up; a PAM runs top down.
    const size_t row = static_cast<size_t>(width) * 3;
    bool ok = true;
    for (int y = height; y-- > 0;) ok = fwrite(rgb.data() + static_cast<size_t>(y) * row, 1, row, out) == row && ok;
    return fclose(out) == 0 && ok;
}

}  // namespace

int run_scene_render(int argc, char** argv) {
    int width = 640, height = 360;
    float time = 0;
    bool shadows = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--size" && has_value) {
            if (!parse_size(argv[++i], width, height)) return render_usage();
        } else if (arg == "--time" && has_value) {
            if (!parse_seconds(argv[++i], time)) return render_usage();
        } else if (arg == "--shadows") {
            shadows = true;
        } else {
            return render_usage();
        }
    }

    set_datafile_mode(DATAFILE_MODE_NONE);
    open_scene_gl_context();
    int result = 0;
    {
        // Everything with GL objects goes before the context does.
        std::vector<std::unique_ptr<ShaderProgram>> programs;
        const std::string shaders = engine_shader_folder();
        for (ProgramId id : render_programs) {
            const int k = static_cast<int>(id);
            const std::string vertex = shaders + ProgramTable::vertex_source(k);
            const std::string fragment = shaders + ProgramTable::fragment_source(k);
            programs.push_back(std::make_unique<ShaderProgram>(vertex.c_str(), fragment.c_str()));
        }
        Objects3D scene;
        if (!scene.load(argv[0])) {
            result = tool_error(std::string(argv[0]) + " is not a COLLADA file (.dae)");
        } else {
            scene.update(time, false);
            if (scene.cameras.empty()) add_overview_camera(scene);
            add_default_light(scene);
            for (size_t slot = 0; slot < programs.size(); ++slot) scene.set_shader(static_cast<int>(slot), programs[slot].get());
            scene.set_viewport(width, height, static_cast<float>(width) / static_cast<float>(height));

            GLint largest = 0;
            glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_EXT, &largest);
            if (width > largest || height > largest) {
                result = tool_error("the driver renders at most " + std::to_string(largest) + " pixels a side");
            } else {
                Fbo target(width, height, FboType::Rgba8NoMipmaps);
                target.bind(true);
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(GL_LEQUAL);
                glEnable(GL_LIGHTING);
                scene.render(shadows);
                std::vector<unsigned char> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
                target.unbind();
                if (!write_pam(argv[1], width, height, rgb)) result = tool_error(std::string("cannot write ") + argv[1]);
            }
        }
    }
    SDL_Quit();
    return result;
}
