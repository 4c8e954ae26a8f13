// The reflection cubes: how the sphere and the inner boxes move with the beat, the cube-map
// passes, what the sphere reflects, and the viewer of a model without a camera.
#include "scenes/scene_reflection_cubes/reflection_cubes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gl_support.h"
#include "scenes/scene_still.h"
#include "test_support.h"

namespace {

class ReflectionCubesGl : public SharedGlTest {
protected:
    static void SetUpTestSuite() {
        SharedGlTest::SetUpTestSuite();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
        still = new SceneStill(WIDTH, HEIGHT);
        scene = &still->add<ReflectionCubes>();
    }
    static void TearDownTestSuite() {
        delete still;
        still = nullptr;
        SharedGlTest::TearDownTestSuite();
    }
    void SetUp() override {
        still->set("rcRotY", 0);
        still->set("rcRotZ", 0);
        still->set("rcFOV", 45);
        still->set("rcSphereSize", 1);
    }

    static Picture at_beat(double beat) {
        still->set_beat(beat);
        return still->render(*scene);
    }

    static constexpr int WIDTH = 640, HEIGHT = 360;
    static inline SceneStill* still = nullptr;
    static inline ReflectionCubes* scene = nullptr;
};

void expect_matrix(const Mat4& a, const Mat4& b, float tolerance, const std::string& what) {
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(a.m[k], b.m[k], tolerance) << what << " element " << k;
}

Mat4 root_of(Objects3D& box) {
    Mat4 m;
    box.get_node_matrix(nullptr, m);
    return m;
}

TEST_F(ReflectionCubesGl, SphereCirclesAndInnerBoxesSpinWithTheBeat) {
    at_beat(0);
    EXPECT_NEAR(scene->sphere_pos.x, 0, 1e-6f);
    EXPECT_NEAR(scene->sphere_pos.y, 1, 1e-6f);
    EXPECT_EQ(scene->sphere_pos.z, 0);
    for (int i = 0; i < ReflectionCubes::BOX_COUNT; ++i) expect_matrix(root_of(scene->boxes[i]), scene->box_rest[i], 1e-6f, "beat 0");

    at_beat(M_PI / 2);
    EXPECT_NEAR(scene->sphere_pos.x, 1, 1e-4f);
    EXPECT_NEAR(scene->sphere_pos.y, 0, 1e-4f);
    const float b = still->beat();
    for (int i = 0; i < ReflectionCubes::BOX_COUNT; ++i) {
        Mat4 expected = scene->box_rest[i];
        if (i < ReflectionCubes::INNER_BOXES) expected.rotate(30 * b, 0.8f, 0.2f, 0.3f);
        expect_matrix(root_of(scene->boxes[i]), expected, 1e-5f, "beat pi/2 box " + std::to_string(i));
    }
    // Spinning in place: the inner boxes keep their centres.
    for (int i = 0; i < ReflectionCubes::INNER_BOXES; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(root_of(scene->boxes[i]).get(3, c), scene->box_rest[i].get(3, c), 1e-6f);
}

// Each face of the reflection map, read back.
std::vector<uint8_t> face_pixels(const ReflectionMap& map, int face) {
    std::vector<uint8_t> pixels(static_cast<size_t>(map.width) * map.height * 4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, map.cubemap);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return pixels;
}

// Where two pictures differ: the bounding box and the count of differing pixels.
struct Difference {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
};
Difference difference(const Picture& a, const Picture& b) {
    Difference d;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            bool same = true;
            for (int c = 0; c < 3; ++c) same = same && std::abs(a.at(x, y)[c] - b.at(x, y)[c]) <= 2;
            if (same) continue;
            ++d.count;
            d.x0 = std::min(d.x0, x), d.y0 = std::min(d.y0, y), d.x1 = std::max(d.x1, x), d.y1 = std::max(d.y1, y);
        }
    return d;
}

TEST_F(ReflectionCubesGl, SizeZeroHidesTheSphereButTheFacesAreStillDrawn) {
    const double beat = 7.3;
    at_beat(beat);
    const Picture full = at_beat(beat);
    still->set("rcSphereSize", 0.5f);
    const Picture half = at_beat(beat);

    // Every face holds a marker colour that only drawing the surroundings can replace.
    std::vector<uint8_t> marker(static_cast<size_t>(ReflectionCubes::MAP_SIZE) * ReflectionCubes::MAP_SIZE * 4, 0);
    for (size_t i = 0; i < marker.size(); i += 4) marker[i] = 7, marker[i + 1] = 201, marker[i + 2] = 9, marker[i + 3] = 255;
    glBindTexture(GL_TEXTURE_CUBE_MAP, scene->reflection->cubemap);
    for (int f = 0; f < 6; ++f)
        glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(f), 0, 0, 0, ReflectionCubes::MAP_SIZE,
                        ReflectionCubes::MAP_SIZE, GL_RGBA, GL_UNSIGNED_BYTE, marker.data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    still->set("rcSphereSize", 0);
    const Picture none = at_beat(beat);
    EXPECT_EQ(scene->faces_drawn, 6);
    for (int f = 0; f < 6; ++f) {
        const std::vector<uint8_t> pixels = face_pixels(*scene->reflection, f);
        int markers = 0, lit = 0;
        for (size_t i = 0; i < pixels.size(); i += 4) {
            markers += pixels[i] == 7 && pixels[i + 1] == 201 && pixels[i + 2] == 9;
            lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 30;
        }
        EXPECT_EQ(markers, 0) << "face " << f;
        EXPECT_GT(lit, static_cast<int>(pixels.size() / 4 / 2)) << "face " << f;
    }

    // The sphere's disc is what a size adds to the picture without it; half the radius covers
    // about a quarter of the area.
    const Difference unit = difference(none, full), smaller = difference(none, half);
    ASSERT_GT(unit.count, 2000);
    EXPECT_NEAR(static_cast<double>(smaller.count) / unit.count, 0.25, 0.06);
}

// The world is drawn seven times a frame with shadows, but its light's depth cube only when the
// light or a box has moved since it was drawn.
TEST_F(ReflectionCubesGl, TheShadowCubeIsDrawnOnceAFrameAndOnlyWhenSomethingMoved) {
    at_beat(20.0);
    int64_t before = scene->world.shadow_faces_drawn;
    at_beat(20.5);
    EXPECT_EQ(scene->world.shadow_faces_drawn - before, 6);
    before = scene->world.shadow_faces_drawn;
    at_beat(20.5);
    EXPECT_EQ(scene->world.shadow_faces_drawn - before, 0);

    // A wall moved on its own, the light where it was: drawn again.
    scene->boxes[ReflectionCubes::INNER_BOXES].translate_root(0.0f, 0.0f, 0.5f);
    before = scene->world.shadow_faces_drawn;
    at_beat(20.5);
    scene->boxes[ReflectionCubes::INNER_BOXES].translate_root(0.0f, 0.0f, -0.5f);
    EXPECT_EQ(scene->world.shadow_faces_drawn - before, 6);
}

// The viewer looks from (4.5, -3.5, 3) towards the centre, so the picture's right is about
// (+x, +y): the red and blue boxes and the pink and light blue walls; its left is about
// (-x, -y): the green and cyan boxes and their walls. Where the sphere's surface faces sideways
// at 45 degrees it reflects straight to that side.
TEST_F(ReflectionCubesGl, SphereEdgesReflectTheBoxesOnTheirSide) {
    const double beat = 2 * M_PI * 3;  // the sphere at (0, 1, 0)
    still->set("rcSphereSize", 0);
    at_beat(beat);
    const Picture none = at_beat(beat);
    still->set("rcSphereSize", 1);
    const Picture p = at_beat(beat);
    const Difference disc = difference(none, p);
    ASSERT_GT(disc.count, 2000);
    const float cx = (disc.x0 + disc.x1) / 2.0f, cy = (disc.y0 + disc.y1) / 2.0f, r = (disc.x1 - disc.x0) / 2.0f;
    auto patch = [&](float fx) {
        Vec3 sum;
        int n = 0;
        for (int y = static_cast<int>(cy) - 3; y <= static_cast<int>(cy) + 3; ++y)
            for (int x = static_cast<int>(cx + fx * r) - 3; x <= static_cast<int>(cx + fx * r) + 3; ++x, ++n)
                for (int c = 0; c < 3; ++c) sum[c] += p.at(x, y)[c];
        return sum * (1.0f / static_cast<float>(n));
    };
    const Vec3 left = patch(-0.707f), right = patch(0.707f);
    EXPECT_GT(left.y, left.x + 20) << "left " << left.x << " " << left.y << " " << left.z;
    EXPECT_GT(std::max(right.x, right.z), right.y + 20) << "right " << right.x << " " << right.y << " " << right.z;
    if (const char* dir = getenv("ZORVANE_STILLS")) p.write_ppm(std::string(dir) + "/reflection_cubes.ppm");
}

// A copy of the production model without its camera.
std::string model_without_camera() {
    std::ifstream in(std::string(ZORVANE_SOURCE_DIR) + "/" + ReflectionCubes::MODEL_FILE);
    std::stringstream text;
    text << in.rdbuf();
    std::string dae = text.str();
    dae = std::regex_replace(dae, std::regex("<library_cameras>[\\s\\S]*?</library_cameras>"), "");
    dae = std::regex_replace(dae, std::regex("<node id=\"Camera\"[\\s\\S]*?</node>"), "");
    const std::string path = testing::TempDir() + "reflection_cubes_no_camera.dae";
    std::ofstream(path) << dae;
    return path;
}

TEST_F(ReflectionCubesGl, WithoutAModelCameraTheViewerIsTheDiagonalView) {
    const std::string model = model_without_camera();
    ReflectionCubes& bare = still->add<ReflectionCubes>(model);
    EXPECT_EQ(bare.first_added_camera, 0);
    ASSERT_EQ(bare.world.cameras.size(), 4u);
    EXPECT_EQ(bare.cube_camera, 3);
    still->set_beat(1);
    const Picture p = still->render(bare);
    EXPECT_EQ(bare.world.cur_cam, 0);
    const Vec3 eye = bare.world.cameras[0]->world_position(), c = bare.scene_center;
    const float d = 0.75f * 1.1f * bare.scene_size;
    EXPECT_NEAR(eye.x, c.x + d, 1e-3f);
    EXPECT_NEAR(eye.y, c.y - d, 1e-3f);
    EXPECT_NEAR(eye.z, c.z + d, 1e-3f);
    EXPECT_FALSE(p.uniform());
    std::remove(model.c_str());
}

TEST_F(ReflectionCubesGl, AModelThatIsNoColladaFileIsReportedUnderItsOwnName) {
    EXPECT_EQ(fatal_message_of([] { still->add<ReflectionCubes>("data/common/models/beveled_cube.obj"); }),
              "Failed assert colladascene.load( \"data/common/models/beveled_cube.obj\" )");
}

}  // namespace
