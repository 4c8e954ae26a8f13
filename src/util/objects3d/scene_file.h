// The converted form of a scene as named archive entries, so that a packed build never parses
// COLLADA: per record a main entry of fixed layout and one entry per string or array field,
// all little-endian, named "<base>.<label><i>" and "<base>.<label><i><field>"; the entry "<base>"
// itself holds the eight record counts. There is no version and no tag: the names and the
// layouts are the format.
// Reading trusts nothing: a missing or mis-sized entry, a string without its zero, a count the
// archive cannot hold or an index outside its table ends in a fatal report naming the entry,
// before the record is used, so a loaded scene keeps every index inside its tables.
// Depends on: util/data (get_data, add_data), util/objects3d (records, prepare_deformation),
// util/texture (material textures, through the loader's hook).
#pragma once

#include "util/objects3d/dae_loader.h"
#include "util/objects3d/objects3d.h"

// Stores the eight tables under `base_name` through add_data (write mode): the main entry,
// then cameras, lights, animations, materials, controllers, meshes, geometry objects and
// nodes, each record's field entries before its main entry.
void save_internal(const SceneTables& scene, const char* base_name);

// Rebuilds the tables stored under `base_name` through get_data (read mode) into `scene`,
// which must be empty; material textures are made through `textures` (null: real textures).
void load_internal(SceneTables& scene, const char* base_name, DaeTextureLoader textures = nullptr);
