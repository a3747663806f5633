#include "core/ProjectFileScan.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

TEST(ProjectFileScan, FindsTheNameOfAListedElementOnlyWhereItIs) {
    const std::string bytes = R"({
      "name": "not a surface",
      "outputs": [{"name": "Left"}, {"name": "Right"}],
      "surfaces": [
        {"color": {"name": "nested"}, "mesh": {"points": [{"name": "deep"}]}, "name": "First"},
        {"mediaKind": "Video", "name": "Wall"},
        {"name": 7},
        {"corners": []}
      ]})";
    EXPECT_EQ(listedNameInProjectBytes(bytes, "surfaces", 0), "First");
    EXPECT_EQ(listedNameInProjectBytes(bytes, "surfaces", 1), "Wall");
    EXPECT_EQ(listedNameInProjectBytes(bytes, "outputs", 1), "Right");
    // A name that is no text, no name at all, no such element, no such list.
    EXPECT_EQ(listedNameInProjectBytes(bytes, "surfaces", 2), std::nullopt);
    EXPECT_EQ(listedNameInProjectBytes(bytes, "surfaces", 3), std::nullopt);
    EXPECT_EQ(listedNameInProjectBytes(bytes, "surfaces", 4), std::nullopt);
    EXPECT_EQ(listedNameInProjectBytes(bytes, "meshes", 0), std::nullopt);
}

TEST(ProjectFileScan, ReadsUpToWhateverBreaksTheFile) {
    EXPECT_EQ(
        listedNameInProjectBytes(R"({"surfaces": [{"name": "Kept"}, {"name": )", "surfaces", 0),
        "Kept");
    EXPECT_EQ(
        listedNameInProjectBytes(R"({"surfaces": [{"name": "Kept"}, {"name": )", "surfaces", 1),
        std::nullopt);
    EXPECT_EQ(listedNameInProjectBytes("", "surfaces", 0), std::nullopt);
    EXPECT_EQ(listedNameInProjectBytes(R"([{"name": "x"}])", "surfaces", 0), std::nullopt);
    EXPECT_EQ(listedNameInProjectFile("/nonexistent/project.json", "surfaces", 0), std::nullopt);
}

} // namespace
} // namespace prismeta
