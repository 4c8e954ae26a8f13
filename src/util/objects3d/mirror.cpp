// Mirror: the reflection camera, the target it renders into and the quad that shows it.
#include "util/objects3d/mirror.h"

#include "platform/fatal.h"
#include "util/objects3d/objects3d.h"

Mirror::Mirror(int pixel_width, int pixel_height)
    : fbo(std::make_unique<Fbo>(pixel_width, pixel_height, FboType::Rgba8)),
      pixel_width(pixel_width),
      pixel_height(pixel_height) {
    placeholder.create_empty(1, 1, false, false, GL_RGBA8);
    reflection = &placeholder;
}

void Mirror::follow(const Camera& new_viewer) {
    viewer = &new_viewer;
    const Vec3 p = new_viewer.world_position();
    Vec3 d = position - p;
    const float dist = d.length();
    d.normalize();
    Vec3 n = normal;
    n.normalize();
    Vec3 r = d - n * (2 * dot(d, n));
    r.normalize();
    camera.set_yfov(fov);
    const Vec3 eye = camera_behind ? position - r * dist : position;
    camera.set_view(eye, position + r, up);
    camera.set_clip_from_size(width + height);
    camera.set_output(pixel_width, pixel_height,
                      pixel_height > 0 ? static_cast<float>(pixel_width) / static_cast<float>(pixel_height) : 1.0f);
}

void Mirror::begin() {
    reflection = &placeholder;
    visible = false;
    fbo->bind(true);
}

void Mirror::end() {
    fbo->unbind();
    visible = true;
    reflection = fbo->color_textures.empty() ? &placeholder : fbo->color_textures[0].get();
}

namespace {

void quad(float hw, float hh, float z, float nz) {
    glBegin(GL_QUADS);
    glNormal3f(0, 0, nz);
    glTexCoord2f(0, 0);
    glVertex3f(-hw, -hh, z);
    glTexCoord2f(0, 1);
    glVertex3f(-hw, hh, z);
    glTexCoord2f(1, 1);
    glVertex3f(hw, hh, z);
    glTexCoord2f(1, 0);
    glVertex3f(hw, -hh, z);
    glEnd();
}

}  // namespace

void Mirror::draw(Objects3D& scene, int mode, int light) {
    if (!visible) return;
    use_object_program(&scene, true, true, mode, light);
    if (mode == DRAW_SHADOW_DEPTH && material.is_transparent()) return;
    glDepthMask(material.is_transparent() ? GL_FALSE : GL_TRUE);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);

    // The shadow cube holds unit 0 while it is enabled there.
    glActiveTexture(GL_TEXTURE0);
    const int unit = glIsEnabled(GL_TEXTURE_CUBE_MAP) ? 1 : 0;
    const Texture* texture = mode == DRAW_GLOW ? material.glow_tex.get() : reflection;
    apply_material(material, mode == DRAW_GLOW && !texture);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    if (texture) {
        glEnable(GL_TEXTURE_2D);
        texture->bind(unit);
    } else {
        glDisable(GL_TEXTURE_2D);
    }

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    Mat4 frame;
    frame.look_at(position.x, position.y, position.z, position.x + normal.x, position.y + normal.y,
                  position.z + normal.z, up.x, up.y, up.z);
    glMultMatrixf(frame.inverse().data());
    const float hw = width / 2, hh = height / 2;
    quad(hw, hh, 0, -1);
    if (draw_back_face) {
        apply_material(material, true);
        quad(hw, hh, (hw + hh) * 0.02f, 1);
    }
    glPopMatrix();

    Texture::unbind(unit);
    glDepthMask(GL_TRUE);
}
