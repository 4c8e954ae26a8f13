// Framebuffer objects on a real GL context (Mesa under Xvfb).
#include "util/fbo/fbo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "gl_support.h"
#include "test_support.h"
#include "util/shaderprogram/shaderprogram.h"

namespace {

using Fbos = GlTest;

GLint current_framebuffer() {
    GLint binding = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
    return binding;
}

TEST_F(Fbos, TypeTwoDrawsIntoThreeTexturesAtOnce) {
    TempFolder folder(true);
    std::ofstream("three.vert") << "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
    std::ofstream("three.frag") << "#version 120\nvoid main() { gl_FragData[0] = vec4(1, 0, 0, 1);"
                                   " gl_FragData[1] = vec4(0, 1, 0, 1); gl_FragData[2] = vec4(0, 0, 1, 1); }\n";
    ShaderProgram program("three.vert", "three.frag");
    Fbo target(8, 8, FboType::ThreeRgba32f);
    ASSERT_EQ(target.color_textures.size(), 3u);
    target.bind(true);
    program.bind();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    ShaderProgram::unbind_all();
    target.unbind();
    for (int i = 0; i < 3; ++i) {
        float pixel[4 * 64] = {};
        target.bind_color_texture(i, 0);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, pixel);
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(pixel[c], c == i ? 1.0f : 0.0f) << "texture " << i;
    }
    EXPECT_EQ(fatal_message_of([&] { target.bind_color_texture(3, 0); }), "Invalid texture number");
}

TEST_F(Fbos, NestedBindsRestoreWhatWasBefore) {
    Fbo a(16, 16, FboType::Rgba8), b(32, 32, FboType::Rgba8NoMipmaps);
    glViewport(1, 2, 30, 40);
    GLint draw_before = 0, read_before = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &draw_before);
    glGetIntegerv(GL_READ_BUFFER, &read_before);
    // The window's own framebuffer need not be 0 (sdl12-compat draws through one of its own).
    GLint window = current_framebuffer();
    a.bind(true);
    EXPECT_EQ(a.fbo_pushed, window);
    EXPECT_EQ(current_framebuffer(), static_cast<GLint>(a.framebuffer));
    b.bind(false);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 32);
    EXPECT_EQ(fatal_message_of([&] { b.bind(false); }), "Failed assert fbo_pushed < 0");
    b.unbind();
    EXPECT_EQ(current_framebuffer(), static_cast<GLint>(a.framebuffer));
    a.unbind();
    EXPECT_EQ(current_framebuffer(), window);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 40);
    GLint draw_after = 0, read_after = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &draw_after);
    glGetIntegerv(GL_READ_BUFFER, &read_after);
    EXPECT_EQ(draw_after, draw_before);
    EXPECT_EQ(read_after, read_before);
}

TEST_F(Fbos, ConstructionAndResizeKeepTheCurrentBinding) {
    Fbo outer(16, 16, FboType::Rgba8);
    outer.bind(false);
    Fbo inner(8, 8, FboType::Rgba8DepthTexture);  // made while the outer target is bound
    EXPECT_EQ(current_framebuffer(), static_cast<GLint>(outer.framebuffer));
    inner.resize(24, 24);
    EXPECT_EQ(current_framebuffer(), static_cast<GLint>(outer.framebuffer));
    EXPECT_EQ(inner.color_textures[0]->get_width(), 24);
    EXPECT_EQ(inner.depth_texture->get_width(), 24);
    outer.unbind();
    GLuint before = inner.color_textures[0]->get_id();
    inner.resize(24, 24);  // the same size: nothing happens
    EXPECT_EQ(inner.color_textures[0]->get_id(), before);
}

TEST_F(Fbos, MisuseIsFatal) {
    EXPECT_EQ(fatal_message_of([] { Fbo f(8, 8, static_cast<FboType>(6)); }), "Unrecognized FBO type");
    Fbo target(8, 8, FboType::Rgba32f);
    EXPECT_EQ(fatal_message_of([&] { target.add_depth_buffer(); }), "Depth buffer already present!");
    target.add_color_attachment(GL_RGBA8);
    target.add_color_attachment(GL_RGBA8);
    if (target.max_draw_buffers > 3) {
        target.add_color_attachment(GL_RGBA8);
        EXPECT_EQ(fatal_message_of([&] { target.bind(false); }), "Can only draw to 3 buffers at a time here");
    }
}

}  // namespace
