// Textures: one OpenGL 2D (or 2D multisample) texture, loaded from an image file (decoder by
// the file's ending, through the archive) or created empty for render targets. Each object owns
// its GL name: it is deleted with the object, and a move hands it on so exactly one owner deletes it.
// A texture loaded from a file can take the file again while running (live reload).
// Depends on: GLEW, util/gl (the name's owner), util/texture/image.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "util/gl/gl_name.h"

class Texture {
public:
    Texture() = default;
    // Loads the file; a failure is fatal ("Failed to load texture <path>").
    Texture(const char* path, bool mipmaps, bool repeat, GLint min_filter = GL_LINEAR, GLint mag_filter = GL_LINEAR);
    ~Texture();
    // The source of a move owns no name and no pixels afterwards.
    Texture(Texture&& other) noexcept;
    Texture& operator=(Texture&& other) noexcept;

    bool load(const char* path, bool mipmaps, bool repeat, GLint min_filter, GLint mag_filter);
    bool load(const char* path, bool mipmaps, bool repeat) { return load(path, mipmaps, repeat, GL_LINEAR, GL_LINEAR); }
    bool load(const char* path) { return load(path, true, true); }
    bool create_empty(int width, int height, bool mipmaps, bool repeat, GLint internal_format);
    bool create_empty_multisample(int width, int height, bool mipmaps, bool repeat, GLint internal_format, int samples);
    bool create();
    void resize(int width, int height);
    // Level 0 as bytes in the pixel format; the caller frees it.
    unsigned char* read_pixels();
    void bind(int unit) const;
    static void unbind(int unit);
    // A quad over (x, y)-(x + w, y + h) of the unit square mapped onto the viewport.
    void draw(float x, float y, float w, float h) const;

    // ---- live reload ----
    // Decodes `path` again into every texture loaded from it, in place: the same GL name and
    // parameters, the new size. How many took it; -1 when the file no longer decodes, the old
    // pictures staying and `error` saying why.
    static int reload_file(const std::string& path, std::string& error);

    int get_width() const { return width; }
    int get_height() const { return height; }
    GLuint get_id() const { return id.get(); }

    std::vector<uint8_t> image_data;  // decoded pixels until `create` uploads them
    bool has_image_data = false;
    int bits_per_pixel = 0;
    int width = 0, height = 0;
    GLenum pixel_format = 0;
    GlTexture id;
    GLint wrap = GL_CLAMP_TO_EDGE;
    GLint internal_format = 0;
    bool mipmaps = false;
    GLint min_filter = GL_LINEAR, mag_filter = GL_LINEAR;
    int samples = 0;
    std::string file;  // the image file it was loaded from, if any

private:
    void forget_file();
};

// A cube map from six image files (negative and positive x, y, z), each face uploaded with its
// rows reversed relative to the 2D texture it was read from.
class TextureCube {
public:
    TextureCube() = default;
    TextureCube(TextureCube&&) noexcept = default;
    TextureCube& operator=(TextureCube&&) noexcept = default;

    bool load(const char* negx, const char* posx, const char* negy, const char* posy, const char* negz,
              const char* posz);
    bool create();
    void bind(int unit) const;
    static void unbind(int unit);

    // Face pixels as read back from a texture (allocated with malloc), kept from load to create.
    struct FreePixels {
        void operator()(unsigned char* pixels) const { free(pixels); }
    };
    using Pixels = std::unique_ptr<unsigned char, FreePixels>;

    Texture tex_array[6];
    Pixels data_negx, data_posx, data_negy, data_posy, data_negz, data_posz;
    int bits_per_pixel = 0;
    int width = 0, height = 0;
    GLenum pixel_format = 0;
    GlTexture id;
    GLint wrap = GL_CLAMP_TO_EDGE;
    GLint internal_format = 0;
    bool mipmaps = false;
    GLint min_filter = GL_LINEAR, mag_filter = GL_LINEAR;
};

// For the cube map bound to GL_TEXTURE_CUBE_MAP: linear filtering, every edge clamped, and the
// six faces allocated at width by height without data (render targets fill them).
// The rectangle (x, y, w, h) of a view where the window spans 0 to 1 each way, with texture
// coordinates 0 to 1 over it, drawn with whatever is bound and enabled; the matrices are put back.
void draw_unit_square_quad(float x, float y, float w, float h);
void allocate_clamped_cube_faces(GLint internal_format, int width, int height, GLenum format, GLenum type);
