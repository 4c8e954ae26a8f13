#include "util/texture/texture.h"

#include <GL/glu.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/fatal.h"
#include "util/texture/image.h"

namespace {

bool driver_is_ati() {
    const char* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    std::string lower = vendor ? vendor : "";
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower.find("ati ") != std::string::npos;
}

// Trilinear filtering with the driver's largest anisotropy for mipmapped textures; the given
// filters otherwise, which 2D textures set on GL_TEXTURE_2D whatever their target.
void set_filtering(GLenum target, GLenum plain_target, bool mipmaps, GLint min_filter, GLint mag_filter) {
    if (mipmaps) {
        GLfloat anisotropy = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy);
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(plain_target, GL_TEXTURE_MIN_FILTER, min_filter);
        glTexParameteri(plain_target, GL_TEXTURE_MAG_FILTER, mag_filter);
    }
}

// The textures loaded from files, alive now, for live reload.
std::vector<Texture*>& loaded_from_files() {
    static std::vector<Texture*> textures;
    return textures;
}

// ATI drivers build the chain through the legacy flag; everyone else on request.
void generate_mipmap_chain(GLenum target, bool mipmaps) {
    if (!mipmaps) glTexParameteri(target, GL_GENERATE_MIPMAP, 0);
    else if (driver_is_ati()) glTexParameteri(target, GL_GENERATE_MIPMAP, 1);
    else glGenerateMipmapEXT(target);
}

}  // namespace

Texture::Texture(const char* path, bool mipmaps, bool repeat, GLint min_filter, GLint mag_filter) {
    if (!load(path, mipmaps, repeat, min_filter, mag_filter)) ZV_FATAL("Failed to load texture %s", path);
}

Texture::~Texture() { forget_file(); }

Texture::Texture(Texture&& other) noexcept { *this = std::move(other); }

Texture& Texture::operator=(Texture&& other) noexcept {
    if (this == &other) return *this;
    forget_file();
    other.forget_file();
    image_data = std::move(other.image_data);
    has_image_data = std::exchange(other.has_image_data, false);
    bits_per_pixel = other.bits_per_pixel;
    width = other.width;
    height = other.height;
    pixel_format = other.pixel_format;
    id = std::move(other.id);
    wrap = other.wrap;
    internal_format = other.internal_format;
    mipmaps = other.mipmaps;
    min_filter = other.min_filter;
    mag_filter = other.mag_filter;
    samples = other.samples;
    file = std::exchange(other.file, std::string());
    if (!file.empty()) loaded_from_files().push_back(this);
    return *this;
}

void Texture::forget_file() {
    auto& textures = loaded_from_files();
    textures.erase(std::remove(textures.begin(), textures.end(), this), textures.end());
}

int Texture::reload_file(const std::string& path, std::string& error) {
    // Models name their images relative to their own folder ("models/../images/x.png").
    const std::filesystem::path wanted = std::filesystem::path(path).lexically_normal();
    std::vector<Texture*> users;
    for (Texture* texture : loaded_from_files())
        if (texture->id && std::filesystem::path(texture->file).lexically_normal() == wanted) users.push_back(texture);
    if (users.empty()) return 0;
    DecodedImage image;
    if (!decode_image_file(path.c_str(), image)) {
        error = "Failed to load texture " + path;
        return -1;
    }
    for (Texture* texture : users) {
        texture->width = static_cast<int>(image.width);
        texture->height = static_cast<int>(image.height);
        texture->bits_per_pixel = static_cast<int>(image.bits_per_pixel);
        texture->pixel_format = image.format == IMAGE_RGB ? GL_RGB : GL_RGBA;
        texture->internal_format = texture->bits_per_pixel / 8;
        glBindTexture(GL_TEXTURE_2D, texture->id);
        glTexImage2D(GL_TEXTURE_2D, 0, texture->internal_format, texture->width, texture->height, 0,
                     texture->pixel_format, GL_UNSIGNED_BYTE, image.data.data());
        generate_mipmap_chain(GL_TEXTURE_2D, texture->mipmaps);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return static_cast<int>(users.size());
}

bool Texture::load(const char* path, bool mipmaps, bool repeat, GLint min_filter, GLint mag_filter) {
    wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    this->mipmaps = mipmaps;
    this->min_filter = min_filter;
    this->mag_filter = mag_filter;
    DecodedImage image;
    if (!decode_image_file(path, image)) ZV_FATAL("Failed to load texture %s", path);
    image_data = std::move(image.data);
    has_image_data = true;
    bits_per_pixel = static_cast<int>(image.bits_per_pixel);
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    pixel_format = image.format == IMAGE_RGB ? GL_RGB : GL_RGBA;
    internal_format = bits_per_pixel / 8;  // the legacy component count
    if (!create()) return false;
    forget_file();
    file = path;
    loaded_from_files().push_back(this);
    return true;
}

bool Texture::create_empty(int w, int h, bool mip, bool repeat, GLint format) {
    width = w;
    height = h;
    mipmaps = mip;
    wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    internal_format = format;
    bits_per_pixel = 32;
    pixel_format = GL_RGBA;
    min_filter = mag_filter = GL_LINEAR;
    image_data.clear();
    has_image_data = false;
    return create();
}

bool Texture::create_empty_multisample(int w, int h, bool mip, bool repeat, GLint format, int sample_count) {
    samples = sample_count;
    return create_empty(w, h, mip, repeat, format);
}

bool Texture::create() {
    if (id) ZV_FATAL("Attempt to create an already initialized texture!");
    GLenum target = samples >= 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
    glGenTextures(1, id.put());
    glBindTexture(target, id);
    set_filtering(target, GL_TEXTURE_2D, mipmaps, min_filter, mag_filter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);

    const void* pixels = has_image_data ? image_data.data() : nullptr;
    GLenum type;
    switch (internal_format) {
        case 1: case 2: case 3: case 4: case GL_RGBA8:
            type = GL_UNSIGNED_BYTE;
            break;
        case GL_RGBA32F_ARB: case GL_RGB32F_ARB: case GL_RGBA16F_ARB: case GL_RGB16F_ARB:
            type = GL_FLOAT;
            break;
        case GL_DEPTH_COMPONENT16: case GL_DEPTH_COMPONENT24: case GL_DEPTH_COMPONENT32: case GL_DEPTH_COMPONENT32F:
            glTexParameteri(target, GL_DEPTH_TEXTURE_MODE, GL_INTENSITY);
            glTexParameteri(target, GL_TEXTURE_COMPARE_MODE, GL_NONE);
            glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            pixel_format = GL_DEPTH_COMPONENT;
            type = GL_FLOAT;
            break;
        default:
            ZV_FATAL("Unrecognized texture format %d!", internal_format);
    }
    if (samples >= 1)
        glTexImage2DMultisample(target, samples, static_cast<GLenum>(internal_format), width, height, GL_FALSE);
    else
        glTexImage2D(target, 0, internal_format, width, height, 0, pixel_format, type, pixels);

    generate_mipmap_chain(target, mipmaps);

    image_data.clear();
    image_data.shrink_to_fit();
    has_image_data = false;
    return true;
}

void Texture::resize(int w, int h) {
    if (has_image_data) ZV_FATAL("Attempted to resize a texture with current imageData");
    if (!id) ZV_FATAL("Attempted to resize a texture that is not initialized!");
    id.reset();
    width = w;
    height = h;
    create();
}

unsigned char* Texture::read_pixels() {
    int bytespp = bits_per_pixel / 8;
    ZV_ASSERT_CMP(4, ==, bytespp);
    unsigned char* tempdata = static_cast<unsigned char*>(malloc(static_cast<size_t>(width) * height * 4));
    ZV_ASSERT(tempdata);
    bind(0);
    glGetTexImage(GL_TEXTURE_2D, 0, pixel_format, GL_UNSIGNED_BYTE, tempdata);
    return tempdata;
}

void Texture::bind(int unit) const {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(samples >= 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D, id);
}

void Texture::unbind(int unit) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

void Texture::draw(float x, float y, float w, float h) const {
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_LIGHTING);
    bind(0);
    draw_unit_square_quad(x, y, w, h);
}

void draw_unit_square_quad(float x, float y, float w, float h) {
    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x, y);
    glTexCoord2f(1, 0);
    glVertex2f(x + w, y);
    glTexCoord2f(1, 1);
    glVertex2f(x + w, y + h);
    glTexCoord2f(0, 1);
    glVertex2f(x, y + h);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// ---- cube maps ------------------------------------------------------------------------------

namespace {
// The face with its rows in reverse order: the cube map's first row is the 2D texture's last.
void reverse_rows(unsigned char* pixels, int width, int height) {
    size_t row = static_cast<size_t>(width) * 4;
    std::vector<unsigned char> swap(row);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        memcpy(swap.data(), pixels + top * row, row);
        memcpy(pixels + top * row, pixels + bottom * row, row);
        memcpy(pixels + bottom * row, swap.data(), row);
    }
}
}  // namespace

bool TextureCube::load(const char* negx, const char* posx, const char* negy, const char* posy, const char* negz,
                       const char* posz) {
    wrap = GL_CLAMP_TO_EDGE;
    mipmaps = true;
    min_filter = GL_LINEAR_MIPMAP_LINEAR;
    mag_filter = GL_LINEAR;
    bits_per_pixel = 32;
    const char* files[6] = {negx, posx, negy, posy, negz, posz};
    for (int i = 0; i < 6; ++i)
        if (!tex_array[i].load(files[i])) return false;
    width = tex_array[0].get_width();
    height = tex_array[0].get_height();
    for (int i = 0; i < 6; ++i) {
        ZV_ASSERT(width == tex_array[i].get_width());
        ZV_ASSERT(height == tex_array[i].get_height());
    }
    data_negx.reset(tex_array[0].read_pixels());
    ZV_ASSERT(data_negx);
    data_posx.reset(tex_array[1].read_pixels());
    ZV_ASSERT(data_posx);
    data_negy.reset(tex_array[2].read_pixels());
    ZV_ASSERT(data_negy);
    data_posy.reset(tex_array[3].read_pixels());
    ZV_ASSERT(data_posy);
    data_negz.reset(tex_array[4].read_pixels());
    ZV_ASSERT(data_negz);
    data_posz.reset(tex_array[5].read_pixels());
    ZV_ASSERT(data_posz);
    for (Pixels* face : {&data_negx, &data_posx, &data_negy, &data_posy, &data_negz, &data_posz})
        reverse_rows(face->get(), width, height);
    internal_format = GL_RGBA8;
    pixel_format = GL_RGBA;
    return create();
}

bool TextureCube::create() {
    if (id) ZV_FATAL("Attempt to create an already initialized texture!");
    glGenTextures(1, id.put());
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    set_filtering(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP, mipmaps, min_filter, mag_filter);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, wrap);
    const struct {
        GLenum face;
        unsigned char* data;
    } faces[6] = {{GL_TEXTURE_CUBE_MAP_NEGATIVE_X, data_negx.get()}, {GL_TEXTURE_CUBE_MAP_POSITIVE_X, data_posx.get()},
                  {GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, data_negy.get()}, {GL_TEXTURE_CUBE_MAP_POSITIVE_Y, data_posy.get()},
                  {GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, data_negz.get()}, {GL_TEXTURE_CUBE_MAP_POSITIVE_Z, data_posz.get()}};
    for (const auto& f : faces)
        glTexImage2D(f.face, 0, internal_format, width, height, 0, pixel_format, GL_UNSIGNED_BYTE, f.data);
    generate_mipmap_chain(GL_TEXTURE_CUBE_MAP, mipmaps);
    for (Pixels* face : {&data_negx, &data_posx, &data_negy, &data_posy, &data_negz, &data_posz}) face->reset();
    return true;
}

void TextureCube::bind(int unit) const {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
}

void TextureCube::unbind(int unit) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

void allocate_clamped_cube_faces(GLint internal_format, int width, int height, GLenum format, GLenum type) {
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    for (int face = 0; face < 6; ++face)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face), 0, internal_format, width, height, 0,
                     format, type, nullptr);
}
