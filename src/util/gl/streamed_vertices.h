// Vertices computed on the CPU every frame, gathered into one array and drawn from one buffer
// object: one upload a frame, where immediate mode costs a call per vertex and client-side
// arrays a copy per draw call.
// Depends on: util/gl (the buffer's owner), GLEW.
#pragma once

#include <GL/glew.h>

#include <cstddef>
#include <vector>

#include "util/gl/gl_name.h"

class StreamedVertices {
public:
    // Empties the array, keeping its storage for the next frame.
    void clear() { floats.clear(); }
    void add(float x, float y) { floats.insert(floats.end(), {x, y}); }
    void add(float x, float y, float z) { floats.insert(floats.end(), {x, y, z}); }
    size_t size() const { return floats.size(); }

    // Copies the array into the buffer, replacing last frame's store so that GL need not wait
    // for the draws that still read it, and leaves the buffer bound as the vertex array source.
    // False when GL gives no buffer.
    bool upload() {
        if (!buffer.create()) return false;
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(floats.size() * sizeof(float)), floats.data(),
                     GL_STREAM_DRAW);
        return true;
    }
    // The vertex pointer into the uploaded array: `components` floats per vertex, vertices
    // `stride` floats apart (0: packed), the first at float `first`.
    static void point_vertices(int components, int stride, size_t first) {
        glVertexPointer(components, GL_FLOAT, stride * static_cast<GLsizei>(sizeof(float)),
                        reinterpret_cast<const void*>(first * sizeof(float)));
    }
    static void unbind() { glBindBuffer(GL_ARRAY_BUFFER, 0); }

    std::vector<float> floats;

private:
    GlBuffer buffer;
};
