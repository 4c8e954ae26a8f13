// One frame of a 3D scene on the machine's GL driver: a generated scene of 54 400 triangles
// (a 120 × 120 quad floor and twenty spheres of 1 280 triangles) drawn at 640 × 360 into an
// off-screen target with the production's programs, with one lit pass (no shadows) and with the
// shadow pipeline (ambient pass, six depth faces and a lighting pass for one light). Each
// iteration waits for the driver to finish the frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "main/startup.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/objects3d/objects3d.h"
#include "util/objects3d/prefabs/shapes.h"
#include "util/shaderprogram/program_table.h"

namespace {

constexpr int WIDTH = 640, HEIGHT = 360;
constexpr int FLOOR_SIDE = 120;  // quads per side
constexpr int SPHERES = 20;
constexpr int SPHERE_DIVISIONS = 3;

struct GeneratedScene : Objects3D {
    long long triangles = 0;

    GeneratedScene() {
        add_node("Master node", -1);
        auto white = std::make_unique<Material>();
        white->diffuse = Vec4(0.8f, 0.8f, 0.8f, 1);
        materials.push_back(std::move(white));

        std::vector<Vec3> floor_corners, floor_normals;
        const float step = 40.0f / FLOOR_SIDE;
        for (int y = 0; y < FLOOR_SIDE; ++y)
            for (int x = 0; x < FLOOR_SIDE; ++x) {
                const float x0 = -20 + x * step, y0 = -20 + y * step;
                const Vec3 a(x0, y0, 0), b(x0 + step, y0, 0), c(x0 + step, y0 + step, 0), d(x0, y0 + step, 0);
                floor_corners.insert(floor_corners.end(), {a, b, c, a, c, d});
            }
        floor_normals.assign(floor_corners.size(), Vec3(0, 0, 1));
        add_mesh(floor_corners, floor_normals, Mat4());

        std::vector<Vec3> sphere_corners, sphere_normals;
        for (const ShapeVertex& v : geosphere_triangles(SPHERE_DIVISIONS, false)) {
            sphere_corners.push_back(v.position);
            sphere_normals.push_back(v.normal);
        }
        for (int i = 0; i < SPHERES; ++i) {
            Mat4 place;
            place.translate(-15 + 7.5f * static_cast<float>(i % 5), -12 + 8 * static_cast<float>(i / 5), 2);
            place.scale(1.5f, 1.5f, 1.5f);
            add_mesh(sphere_corners, sphere_normals, place);
        }

        auto camera = std::make_unique<Camera>();
        camera->set_view(Vec3(0, -30, 22), Vec3(0, 0, 0), Vec3(0, 0, 1));
        camera->set_yfov(50);
        camera->set_near_far(0.5f, 200);
        cameras.push_back(std::move(camera));
        cur_cam = 0;
        auto light = std::make_unique<Light>();
        light->set_position(3, -4, 14);
        light->set_range(size(nullptr));
        light->attenuation_from_point(center(nullptr, false));
        lights.push_back(std::move(light));
        set_viewport(WIDTH, HEIGHT, static_cast<float>(WIDTH) / HEIGHT);
    }

    // One object per mesh, each corner its own vertex, on its own node placed by `local`.
    void add_mesh(const std::vector<Vec3>& corners, const std::vector<Vec3>& normals, const Mat4& local) {
        auto mesh = std::make_unique<Mesh>();
        auto object = std::make_unique<GeomObject>();
        for (size_t c = 0; c < corners.size(); ++c) {
            mesh->vertices.insert(mesh->vertices.end(), {corners[c].x, corners[c].y, corners[c].z});
            mesh->normals.insert(mesh->normals.end(), {normals[c].x, normals[c].y, normals[c].z});
            object->ivertices.push_back(static_cast<int32_t>(c));
        }
        object->inormals = object->ivertices;
        mesh->vertices_stride = mesh->normals_stride = 3;
        object->mesh_id = static_cast<int32_t>(meshes.size());
        object->mesh_ptr = mesh.get();
        triangles += object->triangle_count();
        const int32_t node = add_node("piece", 0);
        nodes[static_cast<size_t>(node)]->local_matrix = local;
        nodes[static_cast<size_t>(node)]->objects.push_back(static_cast<int32_t>(geom_objects.size()));
        meshes.push_back(std::move(mesh));
        geom_objects.push_back(std::move(object));
    }
};

// The context, the programs and the scene live for the whole run.
struct Setup {
    std::vector<std::unique_ptr<ShaderProgram>> programs;
    std::unique_ptr<GeneratedScene> scene;
    std::unique_ptr<Fbo> target;

    Setup() {
        setenv("ZORVANE_BATCH", "1", 1);
        if (chdir(ZORVANE_SOURCE_DIR) != 0) abort();
        set_datafile_mode(DATAFILE_MODE_NONE);
        const int depth = init_sdl_video();
        Settings window;
        window.width = 64;
        window.height = 64;
        window.video_flags = window_flags_for(window) & ~SDL_FULLSCREEN_BIT;
        window.vsync = 0;
        open_gl_window(window, depth);
        scene = std::make_unique<GeneratedScene>();
        const ProgramId slots[] = {ProgramId::MultiMaterialNoTexture, ProgramId::MultiMaterialTexture,
                                   ProgramId::ShadowDepthWrite,       ProgramId::ShadowAmbient,
                                   ProgramId::ShadowAmbientTexture,   ProgramId::ShadowCubeSingleMaterialNoTexture,
                                   ProgramId::ShadowCubeSingleMaterialTexture};
        for (int slot = 0; slot < 7; ++slot) {
            const int k = static_cast<int>(slots[slot]);
            programs.push_back(
                std::make_unique<ShaderProgram>(ProgramTable::vertex_source(k), ProgramTable::fragment_source(k)));
            scene->set_shader(slot, programs.back().get());
        }
        target = std::make_unique<Fbo>(WIDTH, HEIGHT, FboType::Rgba8NoMipmaps);
        target->bind(true);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
    }
};

Setup& setup() {
    static Setup* shared = new Setup();  // never destroyed: the context outlives every benchmark
    return *shared;
}

void BM_RenderFrame(benchmark::State& state) {
    Setup& s = setup();
    const bool shadows = state.range(0) != 0;
    s.scene->render(shadows);  // builds the buffers and the shadow cube outside the timing
    glFinish();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        s.scene->render(shadows);
        glFinish();
    }
    state.counters["triangles"] = static_cast<double>(s.scene->triangles);
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderFrame)->ArgName("shadows")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
