// AttractorFun: the flare on lead notes, its decay, and the figure.
#include "scenes/scene_attractor_fun/attractor_fun.h"

#include <algorithm>
#include <vector>

#include "util/music/music.h"

void AttractorFun::render() {
    if (!rendered) {
        attractor_pulse = REST_PULSE;
        rendered = true;
    }
    // Falls from the flare back to rest within 0.4 beats at any frame rate.
    if (attractor_pulse > REST_PULSE)
        attractor_pulse = std::max(REST_PULSE, attractor_pulse - 5.0f * music->average_beat_step());

    const std::vector<bool> triggers = music->get_note_triggers(LEAD_TRACK, 0.0f);
    // Notes starting in the same frame: the highest index chooses the figure.
    for (size_t i = 0; i < triggers.size(); ++i) {
        if (!triggers[i]) continue;
        attractor_pulse = FLARE_PULSE;
        attractor_time_offset = static_cast<float>(i) * 100.0f;
    }

    attractor->set_intensity(attractor_pulse);
    attractor->set_color(1, 1, 1, 1);
    attractor->render(music->get_beat() + attractor_time_offset);
}

void AttractorFun::reshape(int new_width, int new_height) {
    Scene::reshape(new_width, new_height);
    attractor->resize_target(new_width, new_width);
}
