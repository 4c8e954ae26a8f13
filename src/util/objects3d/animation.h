// Key-framed channels that drive one node each (Animation), and the skin controllers that bend
// a mesh with the world matrices of joint nodes (Controller).
// Depends on: util/math.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/math/math.h"

struct Animation {
    enum Kind { ROTATION = 1, TRANSLATION = 2, MATRIX = 3 };
    enum Interpolation { LINEAR = 1, BEZIER = 2 };

    std::string name = "uninitialized";
    std::string target = "uninitialized";  // the lower-cased name of the node it drives
    int32_t kind = 0;
    Vec3 axis;  // ROTATION
    std::vector<float> timeline;  // key times in seconds, ascending
    std::vector<float> rotation_amount;  // ROTATION: degrees per key
    std::vector<Vec3> translation;  // TRANSLATION: offset per key
    std::vector<Mat4> matrix;  // MATRIX: matrix per key
    std::vector<int32_t> interpolation;  // per key and component
    int32_t interpolation_stride = 1;

    float last_eval_time = -1;
    Mat4 last_eval_matrix;

    // Applies the channel's value at `time` (seconds) to m by post-multiplication; before the
    // first key the first key holds, after the last key the last one.
    void evaluate(float time, Mat4& m);

    // ---- loading only: the sampler's sources ----
    std::string input_source, output_source, interpolation_source;
};

struct Controller {
    std::string name;
    std::string skin_source;  // the id of the skinned geometry
    std::vector<int32_t> joints;  // per joint, the index of its node
    std::vector<std::string> joint_strings;
    std::vector<float> weights;
    std::vector<int32_t> vcounts;  // per mesh vertex, its number of influences
    std::vector<int32_t> v;  // per influence: joint index, weight index
    std::vector<Mat4> inv_bind_matrices;  // per joint
    Mat4 bind_shape_matrix;

    // Built on first skinning: every animation driving a joint, and the last_eval_time last
    // seen of each, so that a skin is recomputed only when one of them moved.
    bool driving_known = false;
    std::vector<int32_t> driving_animations;
    std::vector<float> driving_times;

    // ---- loading only ----
    std::string joint_source, weight_source, inv_bind_source;
    int32_t joint_offset = -1, weight_offset = -1;
};
