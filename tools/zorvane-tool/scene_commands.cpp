// zorvane-tool scene: what a run makes of a COLLADA scene, in counts, read from the document or
// from its converted form in an archive; and archives of converted scenes built as a write-mode
// run builds them.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "main/startup.h"
#include "util/data/data.h"
#include "util/objects3d/objects3d.h"

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

std::string not_collada(const char* name) { return std::string(name) + " is not a COLLADA file (.dae)"; }

}  // namespace

// FILE [--archive ARCHIVE]: from the COLLADA file (loose files), or from the converted entries
// an archive holds under that name, as a packed build reads them.
int run_scene_info(int argc, char** argv) {
    const char* file = nullptr;
    const char* archive = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--archive") == 0 && i + 1 < argc && !archive) {
            archive = argv[++i];
        } else if (!file && strncmp(argv[i], "--", 2) != 0) {
            file = argv[i];
        } else {
            fprintf(stderr, "zorvane-tool: wrong arguments for 'scene info'\n"
                            "usage: zorvane-tool scene info FILE [--archive ARCHIVE]\n");
            return 2;
        }
    }
    if (!file) {
        fprintf(stderr, "zorvane-tool: wrong arguments for 'scene info'\n"
                        "usage: zorvane-tool scene info FILE [--archive ARCHIVE]\n");
        return 2;
    }
    set_datafile_mode(archive ? DATAFILE_MODE_READ : DATAFILE_MODE_NONE);
    if (archive) read_datafile(archive);
    open_tool_gl_context();
    int result = 0;
    {
        // The scene's textures and lights go before the context does.
        Objects3D scene;
        if (!scene.load(file))
            result = tool_error(not_collada(file));
        else
            print_scene_info(scene);
    }
    SDL_Quit();
    return result;
}

// ARCHIVE FILE...: each scene converted as a write-mode run converts it, and the archive written
// with the converted entries and the textures the scenes asked for, in request order.
int run_scene_pack(int argc, char** argv) {
    const char* archive = argv[0];
    set_datafile_mode(DATAFILE_MODE_WRITE);
    open_tool_gl_context();
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
