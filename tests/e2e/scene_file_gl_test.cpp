// Whole scene loads in the archive modes on a real GL context (loading draws once): write mode
// stores the converted scene and the textures it asked for, once however often it is loaded;
// read mode rebuilds the same scene from an archive file with the document and its texture gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gl_support.h"
#include "test_support.h"
#include "util/data/data.h"
#include "util/objects3d/objects3d.h"
#include "util/objects3d/scene_compare.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The recorded entries packed into an archive file image and read back from it.
void reopen_as_archive() {
    std::vector<std::pair<std::string, std::string>> copies;
    for (const DataChunk& e : get_datafile_entries()) copies.emplace_back(e.name, std::string(e.data, e.size));
    std::vector<DataChunk> chunks;
    for (auto& [name, content] : copies)
        chunks.push_back(DataChunk{name, static_cast<uint32_t>(content.size()), content.data(), false});
    const std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    reset_datafile();
    set_datafile_mode(DATAFILE_MODE_READ);
    parse_datafile_image(image.data(), image.size(), "scenes.zqf");
}

bool has_entry(const std::string& name) {
    for (const DataChunk& e : get_datafile_entries())
        if (e.name == name) return true;
    return false;
}

class SceneFileLoading : public GlTest {
protected:
    void TearDown() override {
        reset_datafile();
        GlTest::TearDown();
    }
};

TEST_F(SceneFileLoading, WriteModeStoresEachSceneOnceAndReadModeLoadsItWithoutTheDocument) {
    TempFolder folder(true);
    const std::string data = ZORVANE_TEST_DATA "/collada/";
    for (const char* file : {"textured_cube.dae", "crate.png", "skinned_bones.dae"})
        std::ofstream(file, std::ios::binary) << slurp(data + file);

    set_datafile_mode(DATAFILE_MODE_WRITE);
    Objects3D cube, bones;
    ASSERT_TRUE(cube.load("textured_cube.dae"));
    ASSERT_TRUE(bones.load("skinned_bones.dae"));
    // The texture was requested while the document was converted, before its entries.
    EXPECT_EQ(get_datafile_entries()[0].name, "crate.png");
    EXPECT_EQ(get_datafile_entries()[1].name, "textured_cube.dae");
    EXPECT_TRUE(has_entry("skinned_bones.dae.controller0v"));
    const uint32_t stored = get_datafile_entry_count();
    testing::internal::CaptureStdout();
    Objects3D again;
    ASSERT_TRUE(again.load("skinned_bones.dae"));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("[DATA] Skipping duplicate entry for skinned_bones.dae.node0\n"), std::string::npos) << log;
    EXPECT_EQ(get_datafile_entry_count(), stored);

    reopen_as_archive();
    for (const char* file : {"textured_cube.dae", "crate.png", "skinned_bones.dae"}) ASSERT_EQ(unlink(file), 0);
    Objects3D cube_read, bones_read;
    ASSERT_TRUE(cube_read.load("textured_cube.dae"));
    ASSERT_TRUE(bones_read.load("skinned_bones.dae"));
    EXPECT_EQ(get_datafile_used_count(), stored);  // every entry, the texture included, was served

    expect_same_tables(cube, cube_read);
    bool textured = false;
    for (const auto& material : cube_read.materials) {
        if (material->diff_tex_fname.empty()) continue;
        textured = true;
        ASSERT_NE(material->diff_tex, nullptr);
        EXPECT_NE(material->diff_tex->get_id(), 0u);  // made from the archive's copy of crate.png
    }
    EXPECT_TRUE(textured);
    EXPECT_EQ(cube_read.cur_cam, 0);
    // Fitted to the scene after the load, as from the document.
    EXPECT_EQ(cube_read.lights[0]->linear_attenuation, cube.lights[0]->linear_attenuation);

    expect_same_tables(bones, bones_read);
    EXPECT_EQ(bones_read.master_node, bones_read.nodes[0].get());
    EXPECT_TRUE(bones_read.animating);
    EXPECT_EQ(bones_read.animation_length, bones.animation_length);
    EXPECT_EQ(bones_read.cur_cam, -1);
    // The same pose at the same time, skin included.
    bones.update(0.75f, false);
    bones_read.update(0.75f, false);
    expect_same_tables(bones, bones_read);

    // Read mode never falls back to a document: a scene that is not stored is a report.
    EXPECT_EQ(fatal_message_of([] { Objects3D().load("other.dae"); }), "main_buffer is NULL\nthe archive holds no converted scene other.dae");
}

}  // namespace
