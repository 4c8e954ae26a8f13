// Ribbons: the track histories, their catch-up after the music moved, the camera and the bands.
#include "scenes/scene_ribbons/ribbons.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "util/math/color.h"
#include "util/math/math.h"
#include "util/music/music.h"

namespace {

const struct {
    const char* name;
    float value;
} sync_table[] = {
    {"riBobAmount", 1.0f},   {"riBobSpeed", 1.0f}, {"riMoveAmountX", 1.0f}, {"riMoveAmountY", 1.0f},
    {"riMoveSpeedX", 1.0f},  {"riMoveSpeedY", 1.0f}, {"riOffsetX", 0.0f},   {"riOffsetY", 0.0f},
    {"riBlendMode", 0.0f},   {"riFgAlpha", 0.9f},  {"riBgAlpha", 0.5f},     {"riCol0", 0.55f},
    {"riCol1", 0.1f},
};

}  // namespace

void Ribbons::init() {
    preset[PRESET_BLEND] = true;
    preset[PRESET_COLOR_MATERIAL] = true;
    preset[PRESET_DEPTH_TEST] = false;
    preset[PRESET_TEXTURE_2D] = false;
    preset[PRESET_LIGHTING] = false;

    static_assert(sizeof sync_table / sizeof sync_table[0] == VALUE_COUNT, "one track per value");
    for (int i = 0; i < VALUE_COUNT; ++i) values[i] = music->add_sync_value(sync_table[i].name, sync_table[i].value, true);

    const uint32_t n = music->get_track_count();
    tracks.clear();
    track_heights.clear();
    for (uint32_t k = 0; k < n; ++k) {
        auto history = std::make_unique<TrackHistory>();
        const uint32_t midi_track = n - 1 - k;
        history->midi_tracks.push_back(static_cast<int32_t>(midi_track));
        history->voices = static_cast<int32_t>(music->get_track_note_count(midi_track));
        history->samples.assign(static_cast<size_t>(history->voices) * SAMPLES, 0.0f);
        tracks.push_back(std::move(history));
        track_heights.push_back(music->add_sync_value(("riTrackHeight" + std::to_string(k)).c_str(), 1.0f, true));
    }
    write_index = 0;
    sample_period = 0.01f;
}

void Ribbons::release() {
    for (auto& history : tracks) history->samples = std::vector<float>();
}

// ---- the history ----------------------------------------------------------------------------

void Ribbons::sample_all(float beat, int position) {
    for (auto& h : tracks) {
        if (h->voices < 1 || h->midi_tracks.empty()) continue;
        if (h->voices == 1) {
            float value = 0.0f;
            for (int32_t m : h->midi_tracks) value = std::max(value, music->get_track_value(static_cast<uint32_t>(m), beat));
            h->samples[static_cast<size_t>(position)] = value;
        } else {
            const std::vector<float> notes = music->get_note_values(static_cast<uint32_t>(h->midi_tracks.back()), beat);
            const size_t voices = std::min(static_cast<size_t>(h->voices), notes.size());
            for (size_t v = 0; v < voices; ++v) h->samples[v * SAMPLES + static_cast<size_t>(position)] = notes[v];
        }
    }
    ++samples_computed;
}

// Steps of one sample period toward the music position; a step backward refills the oldest
// position (a whole window behind), a step forward writes the newest. A gap wider than the
// window is jumped: only the samples that can still be seen are computed.
void Ribbons::catch_up(float b) {
    const float p = sample_period;
    const float window = static_cast<float>(SAMPLES) * p;
    samples_computed = 0;
    bool jumped_back = false, jumped_forward = false;

    if (b < history_time) {
        if (history_time - b > window) {
            history_time = b + p;
            jumped_back = true;
        }
        while (b < history_time) {
            const float earlier = history_time - p;
            if (earlier == history_time) break;  // so far out that a step no longer moves the time
            history_time = earlier;
            write_index = (write_index - 1) & (SAMPLES - 1);
            sample_all(history_time - window, (write_index + 1) & (SAMPLES - 1));
        }
    }

    while (b - history_time > p) {
        if (b - history_time > window) {
            history_time = b - p;
            jumped_forward = true;
        }
        const float later = history_time + p;
        if (later == history_time) break;
        history_time = later;
        write_index = (write_index + 1) & (SAMPLES - 1);
        sample_all(history_time, write_index);
    }

    // After a jump every position that the steps did not write still holds the music from
    // before it: going forward all but the newest, going back all but the oldest. Recompute
    // them for the times they now stand for.
    if (jumped_back || jumped_forward) {
        const int first = jumped_forward ? 1 : 0, last = jumped_forward ? SAMPLES - 1 : SAMPLES - 2;
        for (int age = first; age <= last; ++age) sample_all(history_time - static_cast<float>(age) * p, ring_position(age));
    }
}

// ---- drawing --------------------------------------------------------------------------------

// One wall strip per ribbon, its vertices alternating between the front edge (z = 0) and the
// back edge: every second vertex of it is an outline. All of a frame's strips go into one
// upload, track after track, the highest voice first.
void Ribbons::gather_strips() {
    strips.clear();
    for (size_t band = 0; band < tracks.size(); ++band) {
        const TrackHistory& h = *tracks[band];
        const float height_scale = music->get_sync_value(track_heights[tracks.size() - 1 - band]);
        for (int v = h.voices - 1; v >= 0; --v) {
            const float* s = &h.samples[static_cast<size_t>(v) * SAMPLES];
            for (int i = 0; i < SAMPLES; ++i) {
                const float x = static_cast<float>(SAMPLES - 1 - i) / static_cast<float>(SAMPLES);
                const float y = height_scale * s[ring_position(i)];
                strips.add(x, y, 0.0f);
                strips.add(x, y, RIBBON_DEPTH);
            }
        }
    }
}

void Ribbons::draw_track(int band, size_t& first) const {
    const TrackHistory& h = *tracks[static_cast<size_t>(band)];
    const Vec3 c0 = rgb_of_hsl(music->get_sync_value(values[COL0]), 1.0f, 0.5f);
    const Vec3 c1 = rgb_of_hsl(music->get_sync_value(values[COL1]), 1.0f, 0.5f);
    const float fg = music->get_sync_value(values[FG_ALPHA]);
    const float bg = music->get_sync_value(values[BG_ALPHA]);

    glLineWidth(LINE_WIDTH);
    glPushMatrix();
    for (int v = h.voices - 1; v >= 0; --v) {
        Vec3 c;
        c.lerp(c0, c1, static_cast<float>(v) / static_cast<float>(h.voices));
        glTranslatef(0.0f, 0.0f, 1.2f * RIBBON_DEPTH);
        glColor4f(c.x, c.y, c.z, fg);
        StreamedVertices::point_vertices(3, 6, first);
        glDrawArrays(GL_LINE_STRIP, 0, SAMPLES);
        glColor4f(c.x, c.y, c.z, bg);
        StreamedVertices::point_vertices(3, 0, first);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, SAMPLES * 2);
        glColor4f(c.x, c.y, c.z, fg);
        StreamedVertices::point_vertices(3, 6, first + 3);
        glDrawArrays(GL_LINE_STRIP, 0, SAMPLES);
        first += SAMPLES * 2 * 3;
    }
    glPopMatrix();
}

void Ribbons::render() {
    const float b = music->get_beat();
    auto value = [this](Value v) { return music->get_sync_value(values[v]); };

    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    if (value(BLEND_MODE) > 0.5f)
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    else
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_DST_ALPHA);

    const float pi = static_cast<float>(M_PI);
    const float roll = std::sin(b / 8.0f * value(BOB_SPEED)) * value(BOB_AMOUNT);
    const float x = std::sin(b * pi / 20.0f * value(MOVE_SPEED_X)) * value(MOVE_AMOUNT_X) + value(OFFSET_X);
    const float y = std::cos(b * pi / 20.0f * value(MOVE_SPEED_Y)) * value(MOVE_AMOUNT_Y) + value(OFFSET_Y);
    camera.set_view(Vec3(x, y, 0.0f), Vec3(0.0f, 0.0f, -1.0f), Vec3(std::sin(roll), std::cos(roll), 0.0f));
    camera.set_near_far(0.0001f, 5000.0f);
    camera.apply_projection(width, height, aspect, 1.0f);

    glTranslatef(-0.4f, -0.35f, 0.0f);
    glRotatef(90.0f, 0.0f, 1.0f, 0.0f);

    catch_up(b);

    gather_strips();
    if (!strips.upload()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    const int n = static_cast<int>(tracks.size());
    size_t first = 0;
    for (int band = 0; band < n; ++band) {
        glPushMatrix();
        glScalef(1.0f, 0.3f, 1.0f);
        glTranslatef(0.0f, static_cast<float>(band) / static_cast<float>(n), 0.0f);
        glScalef(1.0f, 1.0f / static_cast<float>(n), 1.0f);
        draw_track(band, first);
        glPopMatrix();
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    StreamedVertices::unbind();
}
