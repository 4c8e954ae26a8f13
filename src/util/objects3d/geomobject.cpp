// GeomObject: the skinned copies of a mesh's vertex data.
#include "util/objects3d/geomobject.h"

#include <algorithm>

#include "platform/fatal.h"

void GeomObject::prepare_deformation() {
    if (!vertices_deformed.empty()) return;
    ZV_ASSERT(mesh_id >= 0);
    ZV_ASSERT_NOT_NULL(mesh_ptr);
    vertices_deformed = mesh_ptr->vertices;
    ZV_ASSERT(mesh_ptr->vertices.size() == vertices_deformed.size());
    if (!mesh_ptr->normals.empty()) {
        normals_deformed = mesh_ptr->normals;
        ZV_ASSERT(mesh_ptr->normals.size() == normals_deformed.size());
        // One list per entry of the vertex array (not per vertex), as skinning indexes it by
        // vertex number and the loaders' checks keep every vertex index inside it.
        normals_from_vertex.assign(mesh_ptr->vertices.size(), {});
        ZV_ASSERT(normals_from_vertex.size() == mesh_ptr->vertices.size());
        const size_t corners = std::min(ivertices.size(), inormals.size());
        for (size_t c = 0; c < corners; ++c) {
            const int32_t vertex = ivertices[c];
            if (vertex >= 0 && static_cast<size_t>(vertex) < normals_from_vertex.size())
                normals_from_vertex[static_cast<size_t>(vertex)].push_back(inormals[c]);
        }
    }
    if (!mesh_ptr->tangents.empty()) {
        tangents_deformed = mesh_ptr->tangents;
        ZV_ASSERT(mesh_ptr->tangents.size() == tangents_deformed.size());
    }
}

// ---- GPU buffers ------------------------------------------------------------------------------

namespace {

// Appends `stride` floats of element `index` of `source` per corner; false when an index names
// an element the array does not hold, so damaged data never reads past the array.
bool append_corners(const std::vector<int32_t>& indices, size_t corners, const std::vector<float>& source,
                    int32_t stride, std::vector<float>& out) {
    if (stride <= 0 || source.empty()) return true;  // the stream is absent
    if (indices.size() < corners) return false;
    const size_t width = static_cast<size_t>(stride);
    for (size_t c = 0; c < corners; ++c) {
        const int32_t index = indices[c];
        if (index < 0 || (static_cast<size_t>(index) + 1) * width > source.size()) return false;
        const float* element = source.data() + static_cast<size_t>(index) * width;
        out.insert(out.end(), element, element + width);
    }
    return true;
}

}  // namespace

bool GeomObject::fill_streams() {
    const Mesh& mesh = *mesh_ptr;
    const std::vector<float>& vertex_source = vertices_deformed.empty() ? mesh.vertices : vertices_deformed;
    const std::vector<float>& normal_source = normals_deformed.empty() ? mesh.normals : normals_deformed;
    const std::vector<float>& tangent_source = tangents_deformed.empty() ? mesh.tangents : tangents_deformed;
    const size_t corners = ivertices.size();
    vertex_stream.clear();
    normal_stream.clear();
    tangent_stream.clear();
    texcoord_stream.clear();
    index_stream.clear();
    if (!append_corners(ivertices, corners, vertex_source, mesh.vertices_stride, vertex_stream)) return false;
    if (!append_corners(inormals, corners, normal_source, mesh.normals_stride, normal_stream)) return false;
    if (!append_corners(itangents, corners, tangent_source, mesh.tangents_stride, tangent_stream)) return false;
    if (!append_corners(itexcoords, corners, mesh.texcoords, mesh.texcoords_stride, texcoord_stream)) return false;
    for (size_t c = 0; c < corners; ++c) index_stream.push_back(static_cast<uint32_t>(c));
    return true;
}

bool GeomObject::create_buffers() {
    if (!fill_streams()) return false;
    if (!vertex_buffer.create() || !index_buffer.create()) return false;
    vertex_bytes = vertex_stream.size() * sizeof(float);
    normal_bytes = normal_stream.size() * sizeof(float);
    tangent_bytes = tangent_stream.size() * sizeof(float);
    texcoord_bytes = texcoord_stream.size() * sizeof(float);
    index_bytes = index_stream.size() * sizeof(uint32_t);
    buffer_allocated = false;
    vertex_dirty = true;
    index_dirty = true;
    upload_buffers();
    return true;
}

bool GeomObject::update_buffers() {
    if (!vertex_dirty && !index_dirty) return true;
    if (!fill_streams()) return false;
    // The buffer was allocated for the streams as they were created; streams of another size
    // would write past it.
    if (vertex_stream.size() * sizeof(float) != vertex_bytes || normal_stream.size() * sizeof(float) != normal_bytes ||
        tangent_stream.size() * sizeof(float) != tangent_bytes ||
        texcoord_stream.size() * sizeof(float) != texcoord_bytes || index_stream.size() * sizeof(uint32_t) != index_bytes)
        return false;
    upload_buffers();
    return true;
}

void GeomObject::upload_buffers() {
    if (vertex_dirty || index_dirty) ++upload_count;
    if (vertex_dirty) {
        glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer.get_id());
        if (!buffer_allocated) {
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertex_bytes + normal_bytes + tangent_bytes + texcoord_bytes),
                         nullptr, GL_DYNAMIC_DRAW);
            buffer_allocated = true;
        }
        size_t offset = 0;
        for (const std::vector<float>* stream : {&vertex_stream, &normal_stream, &tangent_stream, &texcoord_stream}) {
            if (stream->empty()) continue;
            const size_t bytes = stream->size() * sizeof(float);
            glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), stream->data());
            offset += bytes;
        }
        vertex_dirty = false;
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    if (index_dirty) {
        // The skipped start is left out of the upload, so drawing always starts at offset 0.
        const size_t count = index_stream.size();
        const size_t start = std::min(count, static_cast<size_t>(std::max(skipped_indices_start, 0)));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_buffer.get_id());
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>((count - start) * sizeof(uint32_t)),
                     count > start ? index_stream.data() + start : nullptr, GL_STATIC_DRAW);
        index_dirty = false;
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}
