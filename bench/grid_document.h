// A generated COLLADA document for the loading benchmarks: a flat grid with normals and texture
// coordinates in one <p> list, written the way exporters write it.
#pragma once

#include <string>

// A (cells + 1)^2 vertex grid cut into 2 * cells^2 triangles.
inline std::string grid_document(int cells) {
    const int side = cells + 1;
    std::string positions, normals, uvs, p;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            positions += std::to_string(x * 0.1f) + " " + std::to_string(y * 0.1f) + " " + std::to_string((x * y % 7) * 0.01f) + " ";
            normals += "0 0 1 ";
            uvs += std::to_string(static_cast<float>(x) / cells) + " " + std::to_string(static_cast<float>(y) / cells) + " ";
        }
    auto corner = [&](int x, int y) {
        const std::string i = std::to_string(y * side + x);
        p += i + " " + i + " " + i + " ";
    };
    for (int y = 0; y < cells; ++y) {
        for (int x = 0; x < cells; ++x) {
            corner(x, y), corner(x + 1, y), corner(x + 1, y + 1);
            corner(x, y), corner(x + 1, y + 1), corner(x, y + 1);
        }
        p += "\n";
    }
    const std::string n = std::to_string(side * side);
    auto source = [&](const std::string& id, const std::string& values, int stride) {
        return "<source id=\"" + id + "\"><float_array id=\"" + id + "-a\">" + values +
               "</float_array><technique_common><accessor source=\"#" + id + "-a\" count=\"" + n + "\" stride=\"" +
               std::to_string(stride) + "\"/></technique_common></source>";
    };
    return "<?xml version=\"1.0\"?><COLLADA><library_geometries><geometry id=\"Grid\"><mesh>" +
           source("pos", positions, 3) + source("nrm", normals, 3) + source("uv", uvs, 2) +
           "<vertices id=\"vtx\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices><triangles>"
           "<input semantic=\"VERTEX\" source=\"#vtx\" offset=\"0\"/><input semantic=\"NORMAL\" source=\"#nrm\" offset=\"1\"/>"
           "<input semantic=\"TEXCOORD\" source=\"#uv\" offset=\"2\"/><p>" + p +
           "</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene id=\"s\">"
           "<node id=\"Grid\"><instance_geometry url=\"#Grid\"/></node></visual_scene></library_visual_scenes></COLLADA>";
}
