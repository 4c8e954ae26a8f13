// Arbitrary bytes as a COLLADA document: a filled scene or a fatal report (thrown here), never a
// crash, a hang or a read outside a table. Textures come from a hook, so no GL is needed.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/fatal.h"
#include "util/objects3d/dae_loader.h"

namespace {
struct Reported {};

std::unique_ptr<Texture> empty_texture(const char*) { return std::make_unique<Texture>(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_fatal_handler([](const FatalReport&) { throw Reported{}; });
    SceneTables tables;
    DaeNotes notes;  // so that what the check command lists is formatted from hostile text too
    try {
        load_collada_from_memory(reinterpret_cast<const char*>(data), size, "fuzz/scene.dae", tables, empty_texture,
                                 &notes);
    } catch (const Reported&) {
    }
    return 0;
}
