// The drawable records of a scene: vertex data (Mesh), surface colours and textures (Material),
// and the pieces of a mesh drawn with one material (GeomObject), with the skinned copies of
// their vertex data.
// Depends on: util/math, util/texture, util/gl (the buffers' owner), GLEW (the object's vertex and
// index buffers).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/gl/gl_name.h"
#include "util/math/math.h"
#include "util/texture/texture.h"

struct Mesh {
    std::string name;
    // Packed elements of the stride's floats each; a stride of 0 marks an absent array.
    std::vector<float> vertices, normals, tangents, texcoords;
    int32_t vertices_stride = 0, normals_stride = 0, tangents_stride = 0, texcoords_stride = 0;

    // ---- loading only: COLLADA source ids and the layout of an index tuple ----
    std::string position_source, vertex_source, normal_source, texcoord_source;
    int32_t offvertex = -1, offnormal = -1, offtexcoord = -1, offcolor = -1;
    int32_t stride = 1;
};

struct Material {
    std::string name = "dummy";
    std::string fx = "dummy";
    std::string diff_tex_fname, glow_tex_fname;
    Vec4 emission{0, 0, 0, 1}, ambient{0.1f, 0.1f, 0.1f, 1}, diffuse{1, 1, 1, 1}, specular{0.5f, 0.5f, 0.5f, 1};
    Vec4 color_add{0, 0, 0, 0};
    float shininess = 20;
    std::unique_ptr<Texture> diff_tex, glow_tex;

    // The opacity is the diffuse alpha; below 0.99 the material is drawn as transparent.
    bool is_transparent() const { return diffuse.w < 0.99f; }
};

struct GeomObject {
    bool visible = true;
    std::string name;
    std::string material = "dummy";
    // Per triangle corner, the element index into the mesh's arrays; ivertices.size() is a
    // multiple of 3.
    std::vector<int32_t> ivertices, inormals, itangents, itexcoords;
    int32_t mesh_id = -1;
    int32_t material_index = 0;
    bool textured = false;
    Mesh* mesh_ptr = nullptr;  // the mesh at mesh_id in the same scene

    // Skinned copies of the mesh arrays; empty for objects that are not skinned.
    std::vector<float> vertices_deformed, normals_deformed, tangents_deformed;
    // Per mesh vertex, the normal indices used with it (one entry per triangle corner).
    std::vector<std::vector<int32_t>> normals_from_vertex;

    int32_t skipped_indices_start = 0, skipped_indices_end = 0;
    Mat4 object_matrix;

    // ---- GPU state: one element per triangle corner, in corner order ----
    GlBuffer vertex_buffer, index_buffer;
    std::vector<float> vertex_stream, normal_stream, tangent_stream, texcoord_stream;
    std::vector<uint32_t> index_stream;  // 0, 1, 2, ... one per corner
    size_t vertex_bytes = 0, normal_bytes = 0, tangent_bytes = 0, texcoord_bytes = 0, index_bytes = 0;
    // Set when the vertex data changed (skinning) and must reach the GPU again.
    bool vertex_dirty = true;
    bool buffer_allocated = false;
    bool index_dirty = true;
    // Counts the uploads, so that what was drawn from the buffers can tell it is out of date.
    uint32_t upload_count = 0;

    // Builds the corner streams and the buffers and uploads them; false when the data names
    // elements its arrays lack or GL gives no buffer names.
    bool create_buffers();
    // Rewrites the streams from the current sources and uploads them when either flag is set.
    bool update_buffers();
    void upload_buffers();

    // Copies the mesh's arrays into the deformed ones and lists each vertex's normals, once;
    // an object whose copies are already filled is left as it is.
    void prepare_deformation();

    int32_t triangle_count() const { return static_cast<int32_t>(ivertices.size() / 3); }

private:
    bool fill_streams();
};
