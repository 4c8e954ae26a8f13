// The attractor scene: the full-screen attractor figure over the picture. Every note-on of the
// score's "TechLead" track makes it flare up and moves its time by a distance chosen by the
// note, so each note of the lead shows its own figure.
// Depends on: scenes/scene, effects/attractor, util/music (note triggers).
#pragma once

#include <memory>

#include "effects/attractor/attractor.h"
#include "scenes/scene/scene.h"

class AttractorFun : public Scene {
public:
    static constexpr const char* LEAD_TRACK = "TechLead";
    static constexpr float REST_PULSE = 0.5f;
    static constexpr float FLARE_PULSE = 2.5f;

    AttractorFun() : attractor(std::make_unique<Effects::Attractor>()) {}
    // The default preset and no tracks of its own.
    void init() override {}
    void render() override;
    void reshape(int new_width, int new_height) override;

    std::unique_ptr<Effects::Attractor> attractor;
    // Kept across frames, from the first render on.
    bool rendered = false;
    float attractor_pulse = REST_PULSE;
    float attractor_time_offset = 0.0f;
};
