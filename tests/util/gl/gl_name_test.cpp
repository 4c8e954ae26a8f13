// The GL name owner with a delete call that records instead of calling GL: every name is
// deleted once, by its last owner, and never name 0.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "util/gl/gl_name.h"

namespace {

std::vector<GLuint> deleted;

void record_delete(GLuint name) { deleted.push_back(name); }
using Owner = GlName<GLuint, record_delete>;

class GlNameTest : public ::testing::Test {
protected:
    void SetUp() override { deleted.clear(); }
};

TEST_F(GlNameTest, AMovedNameIsDeletedOnceByItsLastOwner) {
    {
        Owner first(7);
        Owner second(std::move(first));
        EXPECT_EQ(first.get(), 0u);
        Owner third;
        third = std::move(second);
        EXPECT_EQ(second.get(), 0u);
        EXPECT_EQ(third.get(), 7u);
        EXPECT_TRUE(deleted.empty());
    }
    EXPECT_EQ(deleted, std::vector<GLuint>{7});
}

TEST_F(GlNameTest, AssignmentAndResetDeleteWhatWasHeldBefore) {
    Owner target(3), source(4);
    target = std::move(source);
    EXPECT_EQ(deleted, std::vector<GLuint>{3});
    target.reset(5);
    EXPECT_EQ(deleted, (std::vector<GLuint>{3, 4}));
    *target.put() = 6;  // as a glGen* call fills it
    EXPECT_EQ(deleted, (std::vector<GLuint>{3, 4, 5}));
    EXPECT_EQ(target.release(), 6u);
    target.reset();
    EXPECT_EQ(deleted, (std::vector<GLuint>{3, 4, 5}));
}

TEST_F(GlNameTest, SelfMoveKeepsTheNameAndEmptyOwnersDeleteNothing) {
    {
        Owner owner(9);
        Owner& alias = owner;
        owner = std::move(alias);
        EXPECT_EQ(owner.get(), 9u);
        EXPECT_TRUE(deleted.empty());
        Owner empty, moved(std::move(empty));
        moved.reset();
    }
    EXPECT_EQ(deleted, std::vector<GLuint>{9});
}

}  // namespace
