// Modulators: the history of note values, its catch-up after the music moved, and the bands.
#include "scenes/scene_modulators/modulators.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "util/music/music.h"

namespace {

int wrap_column(int32_t c) { return ((c % Modulators::COLUMNS) + Modulators::COLUMNS) % Modulators::COLUMNS; }

}  // namespace

void Modulators::init() {
    // Flat, translucent drawing at one depth: with the depth test on, whatever came first at a
    // pixel would hide the outlines, the grid and the labels, and the fill's alpha would mean
    // nothing without blending.
    preset[PRESET_BLEND] = true;
    preset[PRESET_DEPTH_TEST] = false;

    const uint32_t tracks = music->get_track_count();
    history.clear();
    for (uint32_t i = 0; i < tracks; ++i) {
        std::vector<float> columns(static_cast<size_t>(music->get_track_note_count(i)) * COLUMNS);
        // Every byte FF: a NaN in every column, which marks it as never sampled.
        if (!columns.empty()) memset(columns.data(), 0xFF, columns.size() * sizeof(float));
        history.push_back(std::move(columns));
    }
    cursor = 0;
    last_beat = 0.0f;
    step = 0.02f;
    font = std::make_unique<Text>(FONT_FILE, 48);
}

void Modulators::release() { history.clear(); }

void Modulators::reshape(int new_width, int new_height) {
    width = new_width;
    height = new_height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, COLUMNS, 0, static_cast<double>(music->get_track_count()));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    font->Reshape(width, height);
}

// ---- the history ----------------------------------------------------------------------------

void Modulators::sample_column(int column, float beat) {
    for (size_t track = 0; track < history.size(); ++track) {
        const std::vector<float> values = music->get_note_values(static_cast<uint32_t>(track), beat);
        std::vector<float>& h = history[track];
        const size_t notes = h.size() / COLUMNS;
        for (size_t note = 0; note < notes && note < values.size(); ++note)
            h[note * COLUMNS + static_cast<size_t>(column)] = values[note];
    }
}

// The window reaches half its width into the future: its newest column samples now + half.
// After a long seek most of the columns walked over would be overwritten again before they
// could be seen, so the walk first counts its steps (the same float sums, so the same beats)
// and samples only the last COLUMNS of them.
void Modulators::catch_up(float now) {
    const float half = step * 256.0f;
    columns_sampled = 0;

    int64_t back = 0;
    for (float b = last_beat; now + half < b; ++back) {
        const float next = b - step;
        if (next == b) break;  // so far out that a step no longer moves the beat
        b = next;
    }
    for (int64_t i = 0; i < back; ++i) {
        last_beat -= step;
        cursor = cursor == 0 ? COLUMNS - 1 : cursor - 1;
        if (back - i > COLUMNS) continue;
        // The column leaving at the right comes back as the oldest one at the left edge.
        sample_column(wrap_column(cursor + 1), last_beat - 2.0f * half);
        ++columns_sampled;
    }

    int64_t ahead = 0;
    for (float b = last_beat; (now + half) - b > step; ++ahead) {
        const float next = b + step;
        if (next == b) break;
        b = next;
    }
    for (int64_t i = 0; i < ahead; ++i) {
        last_beat += step;
        cursor = wrap_column(cursor + 1);
        if (ahead - i > COLUMNS) continue;
        sample_column(cursor, last_beat);
        ++columns_sampled;
    }
}

// ---- drawing --------------------------------------------------------------------------------

// Each note's curve: a filled strip from the band's baseline up to 0.9 of the band at value 1,
// newest column at x = 511. Columns never sampled split a curve into runs that are drawn on
// their own, so a NaN never reaches GL as a vertex.
void Modulators::draw_curves(uint32_t track_count) {
    const int newest = wrap_column(cursor);
    // Every run's fill and line, gathered into one upload: the fills first, then the lines.
    runs.clear();
    curves.clear();
    lines.clear();
    for (uint32_t r = 0; r < track_count && r < history.size(); ++r) {
        const std::vector<float>& h = history[r];
        const int notes = static_cast<int>(h.size() / COLUMNS);
        const float base = static_cast<float>(track_count - r - 1);
        for (int v = notes - 1; v >= 0; --v) {
            const float d = static_cast<float>(v) / static_cast<float>(notes);
            const float* note = &h[static_cast<size_t>(v) * COLUMNS];
            auto value = [&](int s) { return note[wrap_column(newest - s)]; };
            int s = 0;
            while (s < COLUMNS) {
                while (s < COLUMNS && std::isnan(value(s))) ++s;
                if (s == COLUMNS) break;
                int end = s;
                while (end < COLUMNS && !std::isnan(value(end))) ++end;
                runs.push_back(CurveRun{d, static_cast<int>(curves.size() / 2), static_cast<int>(lines.size() / 2), end - s + 2});
                curves.add(static_cast<float>(COLUMNS - 1 - s), base);
                lines.add(static_cast<float>(COLUMNS - 1 - s), base);
                for (int i = s; i < end; ++i) {
                    const float x = static_cast<float>(COLUMNS - 1 - i), y = base + 0.9f * value(i);
                    curves.add(x, y);
                    curves.add(x, base);
                    lines.add(x, y);
                }
                curves.add(static_cast<float>(COLUMNS - end), base);
                lines.add(static_cast<float>(COLUMNS - end), base);
                s = end;
            }
        }
    }
    const int line_start = static_cast<int>(curves.size() / 2);
    curves.floats.insert(curves.floats.end(), lines.floats.begin(), lines.floats.end());
    if (runs.empty() || !curves.upload()) return;

    glLineWidth(2.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    StreamedVertices::point_vertices(2, 0, 0);
    for (const CurveRun& run : runs) {
        glColor4f(0.0f, 1.0f - run.d, run.d, 0.6f);
        glDrawArrays(GL_QUAD_STRIP, run.fill_first, 2 * run.line_count - 2);
    }
    for (const CurveRun& run : runs) {
        glColor4f(0.0f, 1.0f - run.d, run.d, 1.0f);
        glDrawArrays(GL_LINE_STRIP, line_start + run.line_first, run.line_count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    StreamedVertices::unbind();
}

void Modulators::render() {
    const uint32_t track_count = music->get_track_count();
    const float now = music->get_beat();

    glClear(GL_DEPTH_BUFFER_BIT);
    catch_up(now);
    draw_curves(track_count);

    glColor4f(0.7f, 0.7f, 0.7f, 1.0f);
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    for (uint32_t c = 0; c < track_count; ++c) {
        glVertex2f(0.0f, static_cast<float>(c));
        glVertex2f(static_cast<float>(COLUMNS), static_cast<float>(c));
    }
    // The "now" marker: column 256 shows the values at about the current beat.
    glVertex2f(256.0f, 0.0f);
    glVertex2f(256.0f, static_cast<float>(track_count));
    glEnd();

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (uint32_t s = 0; s < track_count; ++s) {
        const char* name = music->get_track_name(s);
        glPushMatrix();
        glTranslatef(0.0f, static_cast<float>(track_count - s - 1) + 0.1f, 0.0f);
        glScalef(0.2f, 0.01f * music->get_track_value(s, now) + 0.01f, 1.0f);
        font->print("%2i: %s", static_cast<int>(s), name ? name : "");
        glPopMatrix();
    }
}
