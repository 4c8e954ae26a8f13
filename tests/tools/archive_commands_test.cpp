#include <gtest/gtest.h>

#include "commands.h"

namespace {

TEST(EntryNames, OnlyPlainRelativePathsMayBeExtracted) {
    for (const char* ok : {"a", "data/common/shaders/simple.vert", "a.b/c..d/.e", "x\\y"})
        EXPECT_TRUE(is_safe_entry_name(ok)) << ok;
    for (const char* bad : {"", "/etc/passwd", "a//b", "a/", "./a", "a/./b", "..", "a/../../b", "a/.."})
        EXPECT_FALSE(is_safe_entry_name(bad)) << bad;
    EXPECT_FALSE(is_safe_entry_name(std::string("a\0b", 3)));
}

TEST(EntryNames, ExtractionNeedsUniqueNamesThatAreNotAlsoFolders) {
    std::string bad;
    EXPECT_FALSE(find_unextractable_name({"a/b", "a/c", "d"}, bad));
    EXPECT_TRUE(find_unextractable_name({"a/b", "x", "a/b"}, bad));
    EXPECT_EQ(bad, "a/b");
    EXPECT_TRUE(find_unextractable_name({"a/b/c", "a/b"}, bad));
    EXPECT_EQ(bad, "a/b");
    EXPECT_TRUE(find_unextractable_name({"ok", ""}, bad));
    EXPECT_EQ(bad, "");
    EXPECT_TRUE(find_unextractable_name({"ok", "../up"}, bad));
    EXPECT_EQ(bad, "../up");
}

TEST(EntryNames, PackNamesDropDotComponentsAndRepeatedSlashes) {
    EXPECT_EQ(normalise_entry_name("./data//common/./shaders/simple.vert"),
              "data/common/shaders/simple.vert");
    EXPECT_EQ(normalise_entry_name("data/"), "data");
    EXPECT_EQ(normalise_entry_name("//abs/./x"), "/abs/x");
    EXPECT_EQ(normalise_entry_name("../up"), "../up");
}

}  // namespace
