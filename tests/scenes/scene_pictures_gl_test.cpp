// Every scene's picture at a fixed beat against a still of the same frame kept in
// tests/data/pictures, drawn by the software rasteriser the tests run on (Mesa llvmpipe under
// Xvfb) before any of the drawing was made faster: work saved per frame must not show. Each
// scene first plays the second before its beat at 30 frames a second, so that histories and
// particles stand as in a running show. Equal pictures pass; where floating-point order may
// differ, a peak signal-to-noise ratio of 45 dB over the colour channels is the limit.
// ZORVANE_WRITE_PICTURES=DIR writes the pictures into DIR instead of comparing them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/png_writer.h"
#include "scenes/scene_attractor_fun/attractor_fun.h"
#include "scenes/scene_icecubes/icecubes.h"
#include "scenes/scene_modulators/modulators.h"
#include "scenes/scene_radial_fun/radial_fun.h"
#include "scenes/scene_reflection_cubes/reflection_cubes.h"
#include "scenes/scene_ribbons/ribbons.h"
#include "scenes/scene_ssaotest/scene_ssaotest.h"
#include "scenes/scene_stagelights/stagelights.h"
#include "scenes/scene_still_suite.h"
#include "scenes/scene_text_billboards/text_billboards.h"
#include "util/texture/png.h"

namespace {

class ScenePictures : public SceneStillSuite<320, 180> {
protected:
    template <typename S>
    static void check(const char* name, double beat) {
        srand(1);
        S& scene = still->add<S>();
        still->play(scene, beat - 145.0 / 60.0, beat);
        const Picture p = still->read_target();

        std::vector<uint8_t> rgb(static_cast<size_t>(p.width) * p.height * 3);
        for (size_t i = 0, n = static_cast<size_t>(p.width) * p.height; i < n; ++i)
            for (size_t c = 0; c < 3; ++c) rgb[i * 3 + c] = p.rgba[i * 4 + c];
        if (const char* dir = getenv("ZORVANE_WRITE_PICTURES")) {
            std::string error;
            ASSERT_TRUE(write_png_rgb_bottom_up((std::string(dir) + "/" + name + ".png").c_str(), rgb.data(), p.width,
                                                p.height, error))
                << error;
            return;
        }

        std::ifstream in(std::string(ZORVANE_SOURCE_DIR) + "/tests/data/pictures/" + name + ".png", std::ios::binary);
        const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        DecodedPng reference;
        ASSERT_TRUE(decode_png(file.data(), file.size(), reference)) << name;
        ASSERT_EQ(reference.width, static_cast<uint32_t>(p.width));
        ASSERT_EQ(reference.height, static_cast<uint32_t>(p.height));
        double squared = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    // The reference's rows run top first, the read-back's bottom first.
                    const int a = reference.rgba[(static_cast<size_t>(p.height - 1 - y) * p.width + x) * 4 + c];
                    const int d = a - p.at(x, y)[c];
                    squared += d * d;
                }
        if (squared == 0) return;
        const double mse = squared / (3.0 * p.width * p.height);
        const double psnr = 10.0 * std::log10(255.0 * 255.0 / mse);
        EXPECT_GE(psnr, 45.0) << name << " at beat " << beat;
        printf("%s: PSNR %.1f dB\n", name, psnr);
    }
};

TEST_F(ScenePictures, TextBillboards) { check<TextBillboards>("text_billboards", 8.0); }
TEST_F(ScenePictures, Ssaotest) { check<Ssaotest>("ssaotest", 60.0); }
TEST_F(ScenePictures, StageLights) { check<StageLights>("stagelights", 80.0); }
TEST_F(ScenePictures, IceCubes) { check<IceCubes>("icecubes", 100.0); }
TEST_F(ScenePictures, IceCubesField) { check<IceCubes>("icecubes_field", 244.0); }
TEST_F(ScenePictures, ReflectionCubes) { check<ReflectionCubes>("reflection_cubes", 136.0); }
TEST_F(ScenePictures, ReflectionCubesLater) { check<ReflectionCubes>("reflection_cubes_later", 156.0); }
TEST_F(ScenePictures, RadialFun) { check<RadialFun>("radial_fun", 162.0); }
TEST_F(ScenePictures, Ribbons) { check<Ribbons>("ribbons", 194.0); }
TEST_F(ScenePictures, AttractorFun) { check<AttractorFun>("attractor_fun", 258.0); }
TEST_F(ScenePictures, Modulators) { check<Modulators>("modulators", 322.0); }

}  // namespace
