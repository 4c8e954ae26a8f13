#include "main/extensions.h"

#include <GL/glew.h>

#include <cstdlib>

#include "platform/ui.h"

std::vector<std::string> missing_required_extensions() {
    const struct {
        const char* name;
        GLboolean available;
    } required[] = {
        {"GLEW_ARB_vertex_program", GLEW_ARB_vertex_program},
        {"GLEW_ARB_fragment_program", GLEW_ARB_fragment_program},
        {"GLEW_ARB_multitexture", GLEW_ARB_multitexture},
        {"GLEW_ARB_vertex_shader", GLEW_ARB_vertex_shader},
        {"GLEW_ARB_fragment_shader", GLEW_ARB_fragment_shader},
        {"GLEW_ARB_multisample", GLEW_ARB_multisample},
        {"GLEW_ARB_point_sprite", GLEW_ARB_point_sprite},
        {"GLEW_EXT_texture_filter_anisotropic", GLEW_EXT_texture_filter_anisotropic},
        {"GLEW_ARB_vertex_buffer_object", GLEW_ARB_vertex_buffer_object},
        {"GLEW_EXT_framebuffer_object", GLEW_EXT_framebuffer_object},
        {"GLEW_ARB_texture_non_power_of_two", GLEW_ARB_texture_non_power_of_two},
        {"GLEW_ARB_texture_float", GLEW_ARB_texture_float},
        {"GLEW_ARB_draw_buffers", GLEW_ARB_draw_buffers},
        {"GLEW_ARB_depth_texture", GLEW_ARB_depth_texture},
    };
    std::vector<std::string> missing;
    for (const auto& extension : required)
        if (!extension.available) missing.push_back(extension.name);
    return missing;
}

std::string missing_extensions_message(const std::vector<std::string>& missing) {
    if (missing.empty()) return std::string();
    std::string text = missing.size() == 1 ? "Extension " : "Extensions ";
    for (size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) text += ", ";
        text += missing[i];
    }
    text +=
        " not supported, which means this demo probably won't run very well or at all. If you "
        "still want to risk it, press OK. \n\n(Side effects may include bubonic plague, outbreaks "
        "of cholera, Spontaneous Massive Existence Failures and other conditions too horrible for "
        "mere words. The author of this application does not take responsibility for any damages, "
        "injuries or death resulting from the erroneous use of this product.)";
    return text;
}

void check_required_extensions() {
    std::string text = missing_extensions_message(missing_required_extensions());
    if (text.empty()) return;
    if (message_box("Missing extension(s)", text.c_str(), MessageBoxButtons::OkCancel,
                    MessageBoxIcon::Question) != MESSAGE_BOX_OK)
        exit(1);
}
