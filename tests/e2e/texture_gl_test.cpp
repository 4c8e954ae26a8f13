// Textures on a real GL context (Mesa under Xvfb).
#include "util/texture/texture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <string>

#include "gl_support.h"
#include "platform/ui.h"
#include "test_support.h"
#include "util/data/data.h"
#include "util/texture/image.h"

namespace {

using Textures = GlTest;

const std::string logo = std::string(ZORVANE_SOURCE_DIR) + "/data/common/images/trelvane_logo_16_9.png";

TEST_F(Textures, LoadsUploadsAndReadsBackTheDecodedPixels) {
    Texture texture(logo.c_str(), false, false);
    EXPECT_EQ(texture.get_width(), 512);
    EXPECT_EQ(texture.internal_format, 4);
    EXPECT_FALSE(texture.has_image_data);  // released by the upload
    DecodedImage image;
    ASSERT_TRUE(decode_image_file(logo.c_str(), image));
    unsigned char* pixels = texture.read_pixels();
    EXPECT_EQ(memcmp(pixels, image.data.data(), image.data.size()), 0);
    free(pixels);
    Texture mipmapped(logo.c_str(), true, true);
    GLint filter = 0;
    mipmapped.bind(0);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Textures, EmptyTargetsResizeAndRefuseMisuse) {
    Texture target;
    ASSERT_TRUE(target.create_empty(16, 8, false, false, GL_RGBA8));
    target.resize(32, 16);
    EXPECT_EQ(target.get_width(), 32);
    GLint width = 0;
    target.bind(0);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(fatal_message_of([&] { target.create(); }), "Attempt to create an already initialized texture!");
    Texture never;
    EXPECT_EQ(fatal_message_of([&] { never.resize(4, 4); }), "Attempted to resize a texture that is not initialized!");
    Texture odd;
    EXPECT_EQ(fatal_message_of([&] { odd.create_empty(4, 4, false, false, 12345); }), "Unrecognized texture format 12345!");
    Texture rgb;
    rgb.bits_per_pixel = 24;
    EXPECT_EQ(fatal_message_of([&] { free(rgb.read_pixels()); }),
              "Failed assert 4 == bytespp\n 4 is 4\n bytespp is 3");
    Texture depth;
    EXPECT_TRUE(depth.create_empty(8, 8, false, false, GL_DEPTH_COMPONENT24));
}

TEST_F(Textures, UnsupportedEndingsAndBrokenFilesEndTheProcess) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_message_of([] { Texture t("picture.gif", false, false); }), "Failed to load texture picture.gif");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unsupported image format!: Sorry, image format .gif is not yet supported.\nTry .tga or .png.\n");
    EXPECT_EQ(fatal_message_of([] { Texture t("missing.png", false, false); }), "Failed to load texture missing.png");
}

}  // namespace

namespace {

using Cubes = GlTest;

// A square 32-bit TGA whose pixels all differ.
std::string write_tga(const std::string& path, int side) {
    std::string tga(12, '\0');
    tga[2] = 2;
    tga += std::string{static_cast<char>(side), 0, static_cast<char>(side), 0, 32, 0};
    for (int i = 0; i < side * side; ++i) tga += std::string{static_cast<char>(i), static_cast<char>(i * 3), static_cast<char>(i * 7), static_cast<char>(255)};
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(tga.data(), 1, tga.size(), f);
    fclose(f);
    return path;
}

TEST_F(Cubes, FacesAreUploadedWithTheirRowsReversed) {
    TempFolder folder;
    std::string face = write_tga(folder.path + "/face.tga", 4);
    const char* f = face.c_str();
    TextureCube cube;
    ASSERT_TRUE(cube.load(f, f, f, f, f, f));
    EXPECT_EQ(cube.width, 4);
    Texture flat(f, false, false);
    unsigned char* rows = flat.read_pixels();
    std::vector<unsigned char> uploaded(4 * 4 * 4);
    cube.bind(0);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_Z, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
    EXPECT_EQ(memcmp(uploaded.data(), rows + 3 * 4 * 4, 4 * 4), 0);  // first row = the texture's last
    EXPECT_EQ(memcmp(uploaded.data() + 3 * 4 * 4, rows, 4 * 4), 0);
    free(rows);
    TextureCube::unbind(0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Cubes, FacesOfDifferentSizesAreFatal) {
    TempFolder folder;
    std::string face = write_tga(folder.path + "/face.tga", 4);
    std::string other = write_tga(folder.path + "/other.tga", 8);
    const char* f = face.c_str();
    TextureCube cube;
    EXPECT_EQ(fatal_message_of([&] { cube.load(f, f, f, other.c_str(), f, f); }),
              "Failed assert width == tex_array[i].get_width()");
}

}  // namespace
