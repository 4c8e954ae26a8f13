// Effects on a real GL context: the post effects' parameters, uniforms and pictures, and the
// procedural effects (radial blur, fire feedback, attractor) with the ASCII engine's chart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "effects/attractor/attractor.h"
#include "effects/effect/effect.h"
#include "effects/firesl/firesl.h"
#include "effects/radialblur/radialblur.h"
#include "gl_support.h"
#include "test_support.h"
#include "util/ascii/asciiengine.h"
#include "util/fbo/fbo.h"

namespace {

using namespace Effects;

constexpr int SIZE = 128;

class EffectsGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ASSERT_EQ(chdir(ZORVANE_SOURCE_DIR), 0);
    }

    static float uniform1(ShaderProgram* p, const char* name) {
        float v[4] = {};
        GLint location = glGetUniformLocationARB(p->program, name);
        EXPECT_NE(location, -1) << name;
        glGetUniformfvARB(p->program, location, v);
        return v[0];
    }
    static std::vector<float> uniform(ShaderProgram* p, const char* name, int count) {
        std::vector<float> v(4);
        GLint location = glGetUniformLocationARB(p->program, name);
        EXPECT_NE(location, -1) << name;
        glGetUniformfvARB(p->program, location, v.data());
        v.resize(static_cast<size_t>(count));
        return v;
    }

    // A test picture: a horizontal red ramp, a vertical green ramp and a blue square.
    static std::unique_ptr<Texture> test_picture() {
        std::vector<unsigned char> pixels(SIZE * SIZE * 4);
        for (int y = 0; y < SIZE; ++y)
            for (int x = 0; x < SIZE; ++x) {
                unsigned char* p = &pixels[static_cast<size_t>((y * SIZE + x) * 4)];
                p[0] = static_cast<unsigned char>(x * 2);
                p[1] = static_cast<unsigned char>(y * 2);
                p[2] = (x > 80 && x < 112 && y > 16 && y < 48) ? 255 : 40;
                p[3] = 255;
            }
        auto texture = std::make_unique<Texture>();
        EXPECT_TRUE(texture->create_empty(SIZE, SIZE, false, false, GL_RGBA8));
        texture->bind(0);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return texture;
    }

    // Draws `picture` through the bound program into a fresh target and reads it back.
    static std::vector<unsigned char> through(const std::function<void()>& apply, const Texture& picture) {
        Fbo target(SIZE, SIZE, FboType::Rgba8);
        target.bind(true);
        load_identity_matrices();
        glDisable(GL_BLEND);
        apply();
        picture.draw(0, 0, 1, 1);
        std::vector<unsigned char> out(SIZE * SIZE * 4);
        glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        ShaderProgram::unbind_all();
        target.unbind();
        return out;
    }

    static const unsigned char* at(const std::vector<unsigned char>& picture, int x, int y) {
        return &picture[static_cast<size_t>((y * SIZE + x) * 4)];
    }
    static double mean(const std::vector<unsigned char>& picture) {
        double sum = 0;
        for (size_t i = 0; i < picture.size(); i += 4) sum += picture[i] + picture[i + 1] + picture[i + 2];
        return sum / (picture.size() / 4 * 3);
    }
};

// ---- post effects: parameters and uniforms -------------------------------------------------

TEST_F(EffectsGl, PostEffectsNameTheirParametersWithDefaults) {
    struct Expected {
        std::unique_ptr<PostProc> effect;
        std::string name;
        std::vector<std::pair<std::string, float>> params;
    };
    std::vector<Expected> all;
    all.push_back({std::make_unique<Dither>(), "Dither", {{"DitherFactor", 0.5f}}});
    all.push_back({std::make_unique<Fade>(), "Fade", {{"FadeValue", 0.0f}}});
    all.push_back({std::make_unique<Radblur>(), "Radblur",
                   {{"RadblurCntrX", 0.5f}, {"RadblurCntrY", 0.5f}, {"RadblurStep", 0.9f}, {"RadblurStrength", 1.0f}}});
    all.push_back({std::make_unique<Hsl>(), "Hsl", {{"HslSaturate", 0.0f}}});
    all.push_back({std::make_unique<Film>(), "Film",
                   {{"FilmColor", 1.0f}, {"FilmMonochrome", 0.0f}, {"FilmBrownSepia", 0.0f}, {"FilmGreenSepia", 0.0f},
                    {"FilmBlueSepia", 0.0f}, {"FilmContrast", 0.0f}, {"FilmBrightness", 0.0f},
                    {"FilmFilmgrainAmount", 0.0f}, {"FilmScanlineAmount", 0.0f}}});
    for (auto& e : all) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.effect->name(), e.name);
        ASSERT_EQ(e.effect->param_names().size(), e.params.size());
        const int n = static_cast<int>(e.params.size());
        for (int j = 0; j < n; ++j) {
            EXPECT_EQ(e.effect->param_names()[static_cast<size_t>(j)], e.params[static_cast<size_t>(j)].first);
            EXPECT_FLOAT_EQ(e.effect->get_param(j), e.params[static_cast<size_t>(j)].second);
        }
        // Out of range: reads 0, writes nothing.
        EXPECT_EQ(e.effect->get_param(-1), 0.0f);
        EXPECT_EQ(e.effect->get_param(n), 0.0f);
        e.effect->set_param(-1, 7.0f);
        e.effect->set_param(n, 7.0f);
        for (int j = 0; j < n; ++j) EXPECT_NE(e.effect->get_param(j), 7.0f);
        e.effect->set_param(n - 1, 0.25f);
        EXPECT_EQ(e.effect->get_param(n - 1), 0.25f);
        GLint linked = 0;
        glGetObjectParameterivARB(e.effect->program->program, GL_OBJECT_LINK_STATUS_ARB, &linked);
        EXPECT_EQ(linked, 1);
    }
}

TEST_F(EffectsGl, ApplySetsTheUniformsFromTheParameters) {
    Dither dither;
    dither.apply(1280, 720, 0);
    auto blocks = uniform(dither.program.get(), "blocks", 2);
    EXPECT_NEAR(blocks[0], 243.3f, 0.05f);
    EXPECT_NEAR(blocks[1], 136.9f, 0.05f);
    dither.set_param(Dither::FACTOR, 0);
    dither.apply(1280, 720, 0);
    EXPECT_FLOAT_EQ(uniform(dither.program.get(), "blocks", 2)[0], 1280.0f);

    Fade fade;
    for (float value : {-0.3f, 0.3f, 0.0f}) {
        fade.set_param(Fade::VALUE, value);
        fade.apply(64, 64, 0);
        auto color = uniform(fade.program.get(), "color", 2);
        EXPECT_EQ(color[0], value > 0 ? 1.0f : 0.0f) << value;
        EXPECT_FLOAT_EQ(color[1], std::fabs(value)) << value;
    }

    Radblur radblur;
    radblur.set_param(Radblur::CNTR_X, 0.25f);
    glColor4f(0, 0, 0, 0);
    radblur.apply(64, 64, 0);
    auto params = uniform(radblur.program.get(), "RadialBlurParams", 4);
    EXPECT_EQ(params, (std::vector<float>{0.25f, 0.5f, 0.9f, 1.0f}));
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);

    Hsl hsl;
    hsl.set_param(Hsl::SATURATE, -0.25f);
    hsl.apply(64, 64, 0);
    EXPECT_FLOAT_EQ(uniform1(hsl.program.get(), "saturate"), 0.75f);

    Film film;
    film.set_param(Film::CONTRAST, 0.5f);
    film.set_param(Film::GREEN_SEPIA, 0.125f);
    film.apply(64, 64, 0);
    EXPECT_FLOAT_EQ(uniform1(film.program.get(), "time"), 999.9953f);
    EXPECT_FLOAT_EQ(uniform1(film.program.get(), "Contrast"), 1.5f);
    EXPECT_FLOAT_EQ(uniform1(film.program.get(), "GreenSepia"), 0.125f);
    EXPECT_FLOAT_EQ(uniform1(film.program.get(), "Color"), 1.0f);
    film.apply(64, 64, 100);
    EXPECT_FLOAT_EQ(uniform1(film.program.get(), "time"), 1099.9953f);
}

TEST_F(EffectsGl, TheBasesReportMisuse) {
    struct Unfinished : PostProc {
        Unfinished() : PostProc("Fade") {}
    } unfinished;
    EXPECT_EQ(fatal_message_of([&] { unfinished.apply(1, 1, 0); }), "Well this shouldn't happen...");
    Effect bare;
    ThrowOnFatal guard;
    try {
        bare.render(0);
        FAIL();
    } catch (const FatalError& e) {
        EXPECT_EQ(e.report.caption, "Error");
        EXPECT_NE(e.report.text.find("Error in file src/effects/effect/effect:"), std::string::npos) << e.report.text;
    }
}

// ---- post effects: pictures ----------------------------------------------------------------

TEST_F(EffectsGl, EachPostEffectChangesThePictureAsItsNameSays) {
    auto picture = test_picture();
    const auto plain = through([] {}, *picture);

    Hsl hsl;
    hsl.set_param(Hsl::SATURATE, -1);
    auto grey = through([&] { hsl.apply(SIZE, SIZE, 0); }, *picture);
    for (int x : {5, 60, 100})
        for (int y : {5, 30, 120}) {
            const unsigned char* p = at(grey, x, y);
            EXPECT_NEAR(p[0], p[1], 1);
            EXPECT_NEAR(p[1], p[2], 1);
        }

    Fade fade;
    fade.set_param(Fade::VALUE, 1);
    EXPECT_GT(mean(through([&] { fade.apply(SIZE, SIZE, 0); }, *picture)), 250.0);
    fade.set_param(Fade::VALUE, -0.5f);
    EXPECT_NEAR(mean(through([&] { fade.apply(SIZE, SIZE, 0); }, *picture)), mean(plain) / 2, 2.0);
    fade.set_param(Fade::VALUE, 0);
    EXPECT_EQ(through([&] { fade.apply(SIZE, SIZE, 0); }, *picture), plain);

    // Dither: with few blocks every block is one colour; Factor 0 changes nothing.
    Dither dither;
    dither.set_param(Dither::FACTOR, 0.8f);  // d = 0.0328: about 4 blocks on 128 pixels
    auto blocky = through([&] { dither.apply(SIZE, SIZE, 0); }, *picture);
    std::set<int> reds;
    for (int x = 0; x < SIZE; ++x) reds.insert(at(blocky, x, 64)[0]);
    EXPECT_LE(reds.size(), 5u);
    EXPECT_GE(reds.size(), 3u);
    dither.set_param(Dither::FACTOR, 0);
    auto same = through([&] { dither.apply(SIZE, SIZE, 0); }, *picture);
    EXPECT_EQ(same, plain);

    // Radblur: the blue square smears toward the centre; at strength 0 nothing moves.
    Radblur radblur;
    auto blurred = through([&] { radblur.apply(SIZE, SIZE, 0); }, *picture);
    EXPECT_GT(at(blurred, 118, 10)[2], at(plain, 118, 10)[2] + 20);
    radblur.set_param(Radblur::STRENGTH, 0);
    EXPECT_EQ(through([&] { radblur.apply(SIZE, SIZE, 0); }, *picture), plain);

    // Film: monochrome without colour is grey; scanlines darken every other row; grain moves.
    Film film;
    film.set_param(Film::COLOR, 0);
    film.set_param(Film::MONOCHROME, 1);
    auto mono = through([&] { film.apply(SIZE, SIZE, 0); }, *picture);
    EXPECT_NEAR(at(mono, 100, 30)[0], at(mono, 100, 30)[2], 1);
    film.set_param(Film::COLOR, 1);
    film.set_param(Film::MONOCHROME, 0);
    EXPECT_EQ(through([&] { film.apply(SIZE, SIZE, 0); }, *picture), plain);
    film.set_param(Film::SCANLINE_AMOUNT, 1);
    auto lines = through([&] { film.apply(SIZE, SIZE, 0); }, *picture);
    EXPECT_EQ(at(lines, 100, 31)[0] + at(lines, 100, 31)[1], 0);
    EXPECT_EQ(at(lines, 100, 30)[0], at(plain, 100, 30)[0]);
    film.set_param(Film::SCANLINE_AMOUNT, 0);
    film.set_param(Film::FILMGRAIN_AMOUNT, 0.3f);
    // Late in the show, far from the time base, the grain still has no pattern: neighbouring
    // pixels differ and two moments differ.
    auto grain_a = through([&] { film.apply(SIZE, SIZE, 400.0f); }, *picture);
    auto grain_b = through([&] { film.apply(SIZE, SIZE, 400.1f); }, *picture);
    int changed = 0, steps = 0;
    for (int x = 1; x < SIZE; ++x) {
        changed += at(grain_a, x, 64)[1] != at(grain_b, x, 64)[1];
        steps += std::abs(at(grain_a, x, 64)[1] - at(grain_a, x - 1, 64)[1]) > 3;
    }
    EXPECT_GT(changed, SIZE / 2);
    EXPECT_GT(steps, SIZE / 2);
    EXPECT_NEAR(mean(grain_a), mean(plain), 6.0);
}

// ---- procedural effects ---------------------------------------------------------------------

TEST_F(EffectsGl, RadialBlurAddsLightAndNeedsATexture) {
    RadialBlur blur;
    EXPECT_EQ(fatal_message_of([&] { blur.render(0); }), "Trying to radialblur without setting texture");
    auto picture = test_picture();
    blur.set_texture(picture.get());
    blur.set_intensity(0.5f);
    EXPECT_TRUE(blur.intensity_mode);
    Fbo target(SIZE, SIZE, FboType::Rgba8);
    target.bind(true);
    load_identity_matrices();
    glClearColor(0.2f, 0.2f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    blur.render(0);
    std::vector<unsigned char> out(SIZE * SIZE * 4);
    glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    // Added onto the grey: never darker anywhere.
    for (size_t i = 0; i < out.size(); i += 4) ASSERT_GE(out[i + 2], 51) << i / 4;
    target.unbind();
    glClearColor(0, 0, 0, 0);
    blur.iterations_mode = true;
    EXPECT_EQ(fatal_message_of([&] { blur.set_intensity(1); }),
              "Intensity and iterations at the same time not yet supported!");
}

TEST_F(EffectsGl, FireStepsReadThePreviousStep) {
    Fire fire;
    EXPECT_EQ(fatal_message_of([&] { fire.set_mode(4); }), "Invalid fire mode 4");
    EXPECT_EQ(fatal_message_of([&] { fire.set_mode(-1); }), "Invalid fire mode -1");
    fire.mode = 9;
    EXPECT_EQ(fatal_message_of([&] { fire.advance(0); }), "Invalid fire mode!");

    // Grey mode without sparks: a white image fills the first step; the second step, with the
    // image gone, can only show it by reading the first.
    fire.set_mode(Fire::FIRE_GRAY);
    fire.current = 0;
    fire.spark_pct = 0;
    Texture white;
    ASSERT_TRUE(white.create_empty(4, 4, false, false, GL_RGBA8));
    std::vector<unsigned char> ones(4 * 4 * 4, 255);
    white.bind(0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 4, 4, GL_RGBA, GL_UNSIGNED_BYTE, ones.data());
    fire.image_texture = &white;
    fire.image_factor = 1;
    Fbo screen(64, 64, FboType::Rgba8);
    screen.bind(true);
    fire.render(1.0f);
    EXPECT_EQ(fire.current, 1);
    fire.image_factor = 0;
    fire.image_texture = nullptr;
    fire.render(1.1f);
    EXPECT_EQ(fire.current, 0);
    screen.unbind();
    fire.targets[0]->bind(false);
    unsigned char p[4];
    glReadPixels(256, 256, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    fire.targets[0]->unbind();
    EXPECT_NEAR(p[0], 0.97 * 255, 6);
}

TEST_F(EffectsGl, FlamesGrowFromSparksAlone) {
    Fire fire;
    Fbo screen(64, 64, FboType::Rgba8);
    screen.bind(true);
    for (int step = 0; step < 20; ++step) fire.render(step * 0.05f);
    std::vector<unsigned char> state(Fire::TARGET_SIZE * Fire::TARGET_SIZE * 4);
    screen.unbind();
    fire.targets[fire.current]->bind(false);
    glReadPixels(0, 0, Fire::TARGET_SIZE, Fire::TARGET_SIZE, GL_RGBA, GL_UNSIGNED_BYTE, state.data());
    fire.targets[fire.current]->unbind();
    int burning_low = 0, burning_high = 0;
    for (int y = 0; y < Fire::TARGET_SIZE; ++y)
        for (int x = 0; x < Fire::TARGET_SIZE; ++x) {
            const unsigned char* q = &state[static_cast<size_t>((y * Fire::TARGET_SIZE + x) * 4)];
            if (q[0] > 60 && q[3] > 60) (y < Fire::TARGET_SIZE / 3 ? burning_low : burning_high) += 1;
        }
    EXPECT_GT(burning_low, 500);             // flames at the bottom
    EXPECT_GT(burning_low, burning_high);    // and fewer above
}

// The coverage of the attractor figure: which pixels it draws (alpha above a tenth).
std::vector<bool> attractor_mask(Attractor& attractor, float time, float intensity) {
    Fbo target(SIZE, SIZE, FboType::Rgba8);
    target.bind(true);
    attractor.set_intensity(intensity);
    attractor.render(time);
    std::vector<unsigned char> out(SIZE * SIZE * 4);
    glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    target.unbind();
    std::vector<bool> mask(SIZE * SIZE);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = out[i * 4 + 3] > 25;
    return mask;
}

double difference(const std::vector<bool>& a, const std::vector<bool>& b) {
    size_t differ = 0;
    for (size_t i = 0; i < a.size(); ++i) differ += a[i] != b[i];
    return static_cast<double>(differ) / static_cast<double>(a.size());
}

TEST_F(EffectsGl, AttractorFiguresDifferPerNoteAndMoveSmoothly) {
    Attractor attractor;
    const float beat = 12.0f;
    auto rest = attractor_mask(attractor, beat + 300, 0.5f);
    auto flare = attractor_mask(attractor, beat + 300, 2.5f);
    size_t at_rest = 0, flared = 0;
    for (size_t i = 0; i < rest.size(); ++i) at_rest += rest[i], flared += flare[i];
    EXPECT_GT(at_rest, 0u);
    EXPECT_LT(at_rest, rest.size() * 3 / 5);  // transparent away from the figure
    EXPECT_GT(flared, at_rest);               // a note makes it flare up
    // Another note index: another figure. A fraction of a beat later: nearly the same figure.
    auto other = attractor_mask(attractor, beat + 400, 2.5f);
    auto later = attractor_mask(attractor, beat + 300.05f, 2.5f);
    EXPECT_GT(difference(flare, other), 0.1);
    EXPECT_LT(difference(flare, later), 0.05);
}

TEST_F(EffectsGl, AsciiEngineChartAndLetterbox) {
    AsciiEngine engine;
    EXPECT_EQ(engine.chart->get_width(), 256);
    EXPECT_EQ(engine.chart->get_height(), 256);
    EXPECT_EQ(engine.x + engine.y + engine.width + engine.height, 4);
    engine.reshape(1920, 1200, 1.7777778f);
    EXPECT_EQ(engine.width, 1920);
    EXPECT_EQ(engine.height, 1079);
    EXPECT_EQ(engine.x, 0);
    EXPECT_EQ(engine.y, 60);
    engine.reshape(1000, 1000, 0.5f);
    EXPECT_EQ(engine.width, 500);
    EXPECT_EQ(engine.height, 1000);
    EXPECT_EQ(engine.x, 250);
    EXPECT_EQ(engine.y, 0);
}

}  // namespace
