// zorvane-tool scene: what a loose-files run makes of a COLLADA scene, in counts.
#include <cstdio>
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

int run_scene_info(int, char** argv) {
    set_datafile_mode(DATAFILE_MODE_NONE);
    open_tool_gl_context();
    int result = 0;
    {
        // The scene's textures and lights go before the context does.
        Objects3D scene;
        if (!scene.load(argv[0])) {
            result = tool_error(std::string(argv[0]) + " is not a COLLADA file (.dae)");
        } else {
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
    }
    SDL_Quit();
    return result;
}
