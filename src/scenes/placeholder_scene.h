// PLACEHOLDER scene: stands in for a scene of the show whose own code does not exist yet, so
// the structure of the show is visible: it draws a translucent band in its own colour with the
// name of the scene class it replaces over whatever is below it. Each real scene replaces one.
// Depends on: scenes/scene, util/text.
#pragma once

#include <memory>
#include <string>

#include "scenes/scene/scene.h"
#include "util/math/math.h"
#include "util/text/text.h"

class PlaceholderScene : public Scene {
public:
    PlaceholderScene(const char* class_name, const Vec4& colour) : class_name(class_name), colour(colour) {}
    void init() override;
    void render() override;

    std::string class_name;
    Vec4 colour;

private:
    std::unique_ptr<Text> label;
};
