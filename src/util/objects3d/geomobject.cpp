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
