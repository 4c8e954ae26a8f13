// Arbitrary bytes as an archive file holding a converted scene: the scene is read back (and
// moved to a time, skinned and measured, which relies on every index the reader let through),
// or a fatal report ends it (thrown here); never a crash, a hang or a read outside a table.
// The scene's base name is the archive's first entry ending in ".dae", as a pack of a COLLADA
// file names it. Textures come from a hook, so no GL is needed.
//
// Mutations work on the entries rather than on the file: a flipped bit in the compressed block
// almost always ends in the decoder, never reaching the scene reader.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/objects3d/scene_file.h"

namespace {
struct Reported {};

std::unique_ptr<Texture> empty_texture(const char*) { return std::make_unique<Texture>(); }

void throw_reports() {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
}

std::string base_name() {
    const auto& entries = get_datafile_entries();
    for (const DataChunk& e : entries)
        if (e.name.size() >= 4 && e.name.compare(e.name.size() - 4, 4, ".dae") == 0) return e.name;
    return entries.empty() ? std::string("scene.dae") : entries.front().name;
}

// (name, data) of every entry of the archive image; false when it is no archive at all.
bool entries_of(const uint8_t* data, size_t size, std::vector<std::pair<std::string, std::string>>& out) {
    reset_datafile();
    try {
        parse_datafile_image(data, size, "fuzz.zqf");
    } catch (const Reported&) {
        reset_datafile();
        return false;
    }
    for (const DataChunk& e : get_datafile_entries()) out.emplace_back(e.name, std::string(e.data, e.size));
    reset_datafile();
    return !out.empty();
}
}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
    throw_reports();
    std::vector<std::pair<std::string, std::string>> entries;
    if (!entries_of(data, size, entries)) return LLVMFuzzerMutate(data, size, max_size);

    std::minstd_rand rng(seed);
    const size_t pick = rng() % entries.size();
    const unsigned action = rng() % 16;
    if (action == 0) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(pick));
    } else if (action == 1) {
        entries.push_back(entries[pick]);
        entries.back().first += std::to_string(rng() % 4);
    } else {
        // Mostly the data, sometimes the name (which breaks or redirects a lookup).
        std::string& target = action == 2 ? entries[pick].first : entries[pick].second;
        std::vector<uint8_t> bytes(target.begin(), target.end());
        bytes.resize(target.size() * 2 + 64);
        const size_t n = LLVMFuzzerMutate(bytes.data(), target.size(), bytes.size());
        target.assign(reinterpret_cast<const char*>(bytes.data()), n);
    }
    std::vector<DataChunk> chunks;
    for (auto& [name, content] : entries)
        chunks.push_back(DataChunk{name, static_cast<uint32_t>(content.size()), content.data(), false});
    const std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    if (image.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
    memcpy(data, image.data(), image.size());
    return image.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    throw_reports();
    reset_datafile();
    try {
        parse_datafile_image(data, size, "fuzz.zqf");
        set_datafile_mode(DATAFILE_MODE_READ);
        Objects3D scene;
        load_internal(scene, base_name().c_str(), empty_texture);
        scene.master_node = scene.nodes.empty() ? nullptr : scene.nodes[0].get();
        scene.start_animation(true);
        scene.update(0.25f, false);
        Vec3 min, max;
        scene.bounding_box(nullptr, min, max, false);
    } catch (const Reported&) {
    }
    reset_datafile();
    return 0;
}
