// The text billboards: the title, the credits and the greetings as flat, slightly turned
// billboards that fly in from behind the camera, settle in a staggered column and fly out
// again. Every line is rendered once into its own texture while loading; each frame shows one
// group, chosen by "txScene", at the flight progress "txProgress".
// Depends on: scenes/scene, util/text, util/fbo, util/camera, util/music (sync values).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scenes/scene/scene.h"
#include "util/camera/camera.h"
#include "util/fbo/fbo.h"
#include "util/math/math.h"
#include "util/music/sync_values.h"
#include "util/text/text.h"

class TextBillboards : public Scene {
public:
    enum Group { TITLE = 0, CREDITS = 1, GREETINGS = 2 };
    static constexpr const char* FONT_FILE = "data/common/fonts/new_detroit.ttf";
    static constexpr int FONT_SIZE = 96;

    // Where the quads of a group go: their width, base x, spread and top.
    struct Layout {
        float quad_width, base_x, spread, top, aspect;
    };
    static Layout layout_of(int group);
    // The group that a "txScene" value selects: rounded, then clamped to the three groups.
    static int group_of(float scene_value);
    // The centre of billboard i of n at flight progress p (0 behind the view, 1 settled, 2 gone).
    static Vec3 billboard_position(int group, int i, int n, float p);
    // Its turn about the Y axis through the origin, degrees.
    static float billboard_turn(int i);

    void init() override;
    void render() override;

    const std::vector<std::string>& lines(int group) const;
    const std::vector<std::unique_ptr<Fbo>>& targets(int group) const;

    std::unique_ptr<Text> font;
    int32_t greetings_width = 0, greetings_height = 0;
    float greetings_aspect = 0;
    int32_t credits_width = 0, credits_height = 0;
    float credits_aspect = 0;
    int32_t title_width = 0, title_height = 0;
    float title_aspect = 0;
    std::vector<std::string> greetings, credits, title;
    std::vector<std::unique_ptr<Fbo>> greetings_targets, credits_targets, title_targets;
    Camera camera;

private:
    void render_line(const std::string& line, int w, int h, std::vector<std::unique_ptr<Fbo>>& targets);

    SyncValueHandle progress, scene_choice;
};
