#include <gtest/gtest.h>

#include "main/extensions.h"

namespace {

const char* const fixed_text =
    " not supported, which means this demo probably won't run very well or at all. If you still "
    "want to risk it, press OK. \n\n(Side effects may include bubonic plague, outbreaks of "
    "cholera, Spontaneous Massive Existence Failures and other conditions too horrible for mere "
    "words. The author of this application does not take responsibility for any damages, "
    "injuries or death resulting from the erroneous use of this product.)";

TEST(MissingExtensions, NoneMissingMeansNoMessage) {
    EXPECT_EQ(missing_extensions_message({}), "");
}

TEST(MissingExtensions, OneMissingIsSingular) {
    EXPECT_EQ(missing_extensions_message({"GLEW_ARB_point_sprite"}),
              std::string("Extension GLEW_ARB_point_sprite") + fixed_text);
}

TEST(MissingExtensions, SeveralAreJoinedInCheckingOrder) {
    EXPECT_EQ(missing_extensions_message({"GLEW_ARB_multisample", "GLEW_ARB_point_sprite"}),
              std::string("Extensions GLEW_ARB_multisample, GLEW_ARB_point_sprite") + fixed_text);
    EXPECT_EQ(missing_extensions_message(
                  {"GLEW_ARB_vertex_program", "GLEW_ARB_texture_float", "GLEW_ARB_depth_texture"}),
              std::string("Extensions GLEW_ARB_vertex_program, GLEW_ARB_texture_float, "
                          "GLEW_ARB_depth_texture") +
                  fixed_text);
}

}  // namespace
