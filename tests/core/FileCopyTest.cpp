// Writing and copying files that get their name only once whole.
#include "ScratchFolder.h"

#include "core/FileCopy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prismeta {
namespace {

using test::contentsOf;
using test::ScratchFolder;

// The temporary name beside a target must stay within the system's limit on
// a name (255 bytes) whatever the target is called.
TEST(FileCopy, TargetsWithNamesNearTheLimitAreWrittenAndReplaced) {
    ScratchFolder folder;
    const std::string name(250, 'n');
    const auto source = folder.write("source.bin", "copied bytes");

    const Status written = writeFileSafely(folder / name, "first", ExistingTarget::replace);
    ASSERT_TRUE(written) << written.error;
    EXPECT_EQ(contentsOf(folder / name), "first");

    const Status copied = copyFileSafely(source, folder / name, ExistingTarget::replace);
    ASSERT_TRUE(copied) << copied.error;
    EXPECT_EQ(contentsOf(folder / name), "copied bytes");

    const Status kept = writeFileSafely(folder / name, "second", ExistingTarget::keep);
    EXPECT_FALSE(kept);
    EXPECT_EQ(contentsOf(folder / name), "copied bytes");

    // Nothing left behind under a temporary name.
    EXPECT_EQ(folder.listing(), (std::vector<std::string>{name, "source.bin"}));
}

} // namespace
} // namespace prismeta
