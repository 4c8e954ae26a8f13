// The COLLADA 1.4 loader: reads the supported subset of a document (triangles, polygons,
// polylists, triangle strips and fans with positions, normals and one set of texture
// coordinates, phong-style materials, perspective and orthographic cameras, point, directional
// and ambient lights, skins whose joints name nodes by id or sid, and rotate, translate and
// matrix channels, a matrix also by its sid, grouped in nested animations; nodes copied by
// <instance_node>) from UTF-8 or UTF-16 into the eight tables of a scene. Ids and references
// are lower-cased; anything outside the subset is skipped (and noted) or ends the program with
// a fatal report; an index from the file is checked before it is used.
// Depends on: TinyXML, util/objects3d (the records), util/texture (material textures),
// util/data (textures are requested through the archive; the document itself is read with the
// C library, since a packed build stores the converted scene instead).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "util/objects3d/objects3d.h"

// Textures of materials are made through this, so that loads without a GL context (tools,
// fuzzing) can supply their own; null: a real Texture, loaded mipmapped and repeating. Without
// a hook, an image that is under none of the names tried is drawn as an untextured surface and
// logged; a hook is given the last name tried and decides.
using DaeTextureLoader = std::unique_ptr<Texture> (*)(const char* path);

// What a load left out of the document or draws otherwise than the document says, one line
// each in the order met: for an author to read before the scene goes in the show.
using DaeNotes = std::vector<std::string>;

// A material's texture through the hook (null: a real Texture, loaded mipmapped and repeating);
// one that cannot be loaded is fatal ("Failed to load texture <path>").
std::unique_ptr<Texture> load_material_texture(const char* path, DaeTextureLoader textures);

// Fills `tables`, which must be empty, from the file: its master node "Master node" first.
void load_collada(const char* file_name, SceneTables& tables, DaeTextureLoader textures = nullptr,
                  DaeNotes* notes = nullptr);
// The same for a document already in memory; `file_name` names it in reports and gives the
// folder that texture paths are relative to.
void load_collada_from_memory(const char* text, size_t length, const char* file_name, SceneTables& tables,
                              DaeTextureLoader textures = nullptr, DaeNotes* notes = nullptr);
