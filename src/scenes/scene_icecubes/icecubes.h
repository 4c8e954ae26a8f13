// Ray-marched ice: the scene covers the viewport with one quad and a ray-marching program
// computes the picture per pixel. The program picks one of several objects and gets a colour
// and two transformations, one for the camera and one for the object, all from sync values,
// so the object is posed and the camera flown from the sync editor.
// Depends on: scenes/scene, util/shaderprogram, util/math, util/music (sync values).
#pragma once

#include <memory>

#include "scenes/scene/scene.h"
#include "util/math/math.h"
#include "util/music/sync_values.h"
#include "util/shaderprogram/shaderprogram.h"

class IceCubes : public Scene {
public:
    void init() override;
    void render() override;

    // What the program is given this frame, from the tracks.
    int object_number() const;
    Mat4 camera_matrix() const;
    Mat4 object_matrix() const;

    std::unique_ptr<ShaderProgram> raymarcher;

private:
    enum Value {
        OBJECT, COLOR_R, COLOR_G, COLOR_B, CAM_POS_X, CAM_POS_Y, CAM_POS_Z, CAM_ROTATION, CAM_AXIS_X, CAM_AXIS_Y,
        CAM_AXIS_Z, OBJ_ROTATION, OBJ_AXIS_X, OBJ_AXIS_Y, OBJ_AXIS_Z, VALUE_COUNT
    };
    SyncValueHandle values[VALUE_COUNT];
    float value(int v) const;
};
