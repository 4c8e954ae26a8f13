// One scene alone at a chosen music position, the way the director would draw it: the show's
// own music description and score with a clock the caller sets, the program table and scratch
// target the director hands every scene, sync tracks held at chosen values, and the picture
// drawn into an off-screen target and read back. Needs a current GL context and the
// repository as working directory (loose production files). Scene tests and the scene frame
// benchmark share it.
#pragma once

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scenes/director.h"
#include "scenes/scene/scene.h"
#include "util/data/data.h"
#include "util/fbo/fbo.h"
#include "util/music/fake_audio.h"
#include "util/music/music.h"
#include "util/shaderprogram/program_table.h"
#include "util/sync/sync.h"

// RGBA8 pixels as read back from GL: the bottom row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    int brightness(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2]; }
    // Pixels whose red + green + blue exceeds `threshold`, within the rectangle (all by default).
    int lit_pixels(int threshold = 0, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) const {
        if (x1 < 0) x1 = width;
        if (y1 < 0) y1 = height;
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) count += brightness(x, y) > threshold;
        return count;
    }
    bool uniform() const {
        for (size_t i = 4; i < rgba.size(); i += 4)
            for (int c = 0; c < 3; ++c)
                if (rgba[i + c] != rgba[c]) return false;
        return true;
    }
    bool same_colours(const Picture& other) const {
        if (other.width != width || other.height != height) return false;
        for (size_t i = 0; i < rgba.size(); i += 4)
            for (int c = 0; c < 3; ++c)
                if (rgba[i + c] != other.rgba[i + c]) return false;
        return true;
    }
    // A binary PPM, top row first, for looking at the picture (ffmpeg turns it into PNG).
    bool write_ppm(const std::string& path) const {
        FILE* f = fopen(path.c_str(), "wb");
        if (!f) return false;
        fprintf(f, "P6\n%d %d\n255\n", width, height);
        for (int y = height - 1; y >= 0; --y)
            for (int x = 0; x < width; ++x) fwrite(at(x, y), 1, 3, f);
        return fclose(f) == 0;
    }
};

class SceneStill {
public:
    // The music position advances in whole 16-bit stereo sample frames of 44.1 kHz.
    static constexpr double BYTES_PER_SECOND = 44100.0 * 4;

    SceneStill(int width, int height) {
        set_datafile_mode(DATAFILE_MODE_NONE);
        set_audio_layer(&clock);
        music = std::make_unique<Music>(Director::MUSIC_FILE, 145.0f, 0.0f, false, false);
        programs.create();
        scratch = std::make_unique<Fbo>(512, 512, FboType::Rgba8);
        scratch->resize(width, height);
        target = std::make_unique<Fbo>(width, height, FboType::Rgba8NoMipmaps);
    }
    ~SceneStill() {
        for (auto& scene : scenes) scene->release();
        scenes.clear();
        music.reset();
        set_audio_layer(nullptr);
    }
    SceneStill(const SceneStill&) = delete;
    SceneStill& operator=(const SceneStill&) = delete;

    // Builds a scene as the director does: services, init, reshape to the picture size.
    template <typename S, typename... Args>
    S& add(Args&&... args) {
        auto scene = std::make_unique<S>(std::forward<Args>(args)...);
        S& s = *scene;
        s.set_time_window(0, 5000);
        s.set_music(music.get());
        s.set_shader_set(&programs);
        s.set_scene_target(scratch.get());
        s.set_ascii_engine(nullptr);
        s.set_frame_info(&frame_info);
        s.set_aspect(16.0f / 9.0f);
        s.init();
        s.reshape(target->width, target->height);
        scenes.push_back(std::move(scene));
        return s;
    }

    void set_beat(double beat) {
        const double bytes = beat * 60.0 / music->bpm * BYTES_PER_SECOND;
        clock.position = static_cast<uint64_t>(std::llround(std::max(0.0, bytes) / 4.0)) * 4;
    }
    float beat() { return music->get_beat(); }

    // Replaces the keys of a registered track with one value held from row 0.
    bool set(const char* name, float value) {
        for (const SyncValue& v : music->sync_values().values()) {
            if (v.name != name || !v.track) continue;
            while (v.track->key_count > 0) delete_key(v.track, v.track->keys[0].row);
            insert_key(v.track, SyncKey{0, value, INTERP_HOLD});
            return true;
        }
        return false;
    }

    // One frame of the director with only this scene selected: the music's per-frame update,
    // the scene's preset and reshape, its drawing into the cleared picture target.
    void draw(Scene& scene) {
        music->update();
        target->bind(true);
        scene.apply_gl_state();
        scene.reshape(target->width, target->height);
        scene.render();
        target->unbind();
        ++frame_info.frame_number;
    }
    // draw, then the picture read back.
    Picture render(Scene& scene) {
        draw(scene);
        return read_target();
    }
    Picture read_target() { return read(*target); }
    // What a render target holds, e.g. the scratch target a scene drew into.
    static Picture read(Fbo& fbo) {
        Picture p;
        p.width = fbo.width;
        p.height = fbo.height;
        p.rgba.resize(static_cast<size_t>(p.width) * p.height * 4);
        fbo.bind(false);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        fbo.unbind();
        return p;
    }

    // Frames at a steady 30 per second of music from `from` up to (not past) `to`, so that
    // the music's average beat step is that of a running show.
    void play(Scene& scene, double from, double to) {
        const double step = music->bpm / 60.0 / 30.0;
        for (double b = from; b <= to + 1e-9; b += step) {
            set_beat(b);
            draw(scene);
        }
    }

    FakeAudio clock;
    std::unique_ptr<Music> music;
    ProgramTable programs;
    std::unique_ptr<Fbo> scratch, target;
    FrameInfo frame_info;
    std::vector<std::unique_ptr<Scene>> scenes;
};
