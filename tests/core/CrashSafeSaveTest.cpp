// Saving must never leave a half-written project, whenever the process dies.
// A child saves two different projects over one file in a loop and is killed
// with SIGKILL at random moments; the file must always hold one of the two
// documents (or the one it held before), byte for byte.
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void fill(ProjectModel& model, int surfaces, const char* name) {
    std::vector<Surface> list(static_cast<std::size_t>(surfaces));
    for (Surface& s : list) {
        s.name = name;
        s.mesh = WarpMesh::from(s.corners, 3, 3);
    }
    model.setSurfaces(std::move(list));
}

TEST(CrashSafeSave, KilledAtRandomMomentsTheFileIsAlwaysWhole) {
    std::string pattern = (fs::temp_directory_path() / "prismeta-kill-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const fs::path target = dir / "show.prismeta.json";

    ProjectModel first;
    ProjectModel second;
    fill(first, 150, "first");
    fill(second, 240, "second");
    ASSERT_TRUE(first.save(target));
    const std::string a = contents(target);
    ASSERT_TRUE(second.save(dir / "b.json"));
    const std::string b = contents(dir / "b.json");
    fs::remove(dir / "b.json");
    ASSERT_NE(a, b);

    std::mt19937 rng(7);
    const int kills = 150;
    int sawA = 0;
    int sawB = 0;
    int leftovers = 0;
    for (int i = 0; i < kills; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                (n % 2 ? first : second).save(target);
            }
        }
        ::usleep(static_cast<useconds_t>(rng() % 40000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        const std::string now = contents(target);
        ASSERT_TRUE(now == a || now == b)
            << "partial file after kill " << i << ": " << now.size() << " bytes";
        (now == a ? sawA : sawB)++;
        // A kill between naming the finished file and renaming it leaves
        // that file beside the target; count and clear it.
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path() != target) {
                ++leftovers;
                fs::remove(entry.path());
            }
        }
    }
    std::cout << "[ figures  ] " << kills << " kills survived, file held the first project " << sawA
              << " times and the second " << sawB << " times; " << leftovers
              << " finished temporary files left beside it\n";
    EXPECT_GT(sawA + sawB, 0);
    fs::remove_all(dir);
}

} // namespace
} // namespace prismeta
