// Memory when loading and saving a project: what reading a file takes beside
// its text, and that running out of memory at any allocation of a load or a
// save fails it with the log line and keeps the project and the file as they
// were, instead of ending the process.
#include "AllocationMeter.h"
#include "ScratchFolder.h"

#include "core/Log.h"
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"
#include "core/RecordFields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PRISMETA_UNDER_SANITIZER 1
#endif

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using testing::AllocationMeter;

// Some of everything a file holds: meshes, media paths, outputs, a reference
// image, and keys no reader knows.
ProjectFile sampleProject() {
    ProjectFile file;
    file.backgroundImagePath = "/shows/reference.png";
    for (int i = 0; i < 3; ++i) {
        Surface s;
        s.name = "Surface number " + std::to_string(i + 1);
        if (i == 1) {
            s.mesh = WarpMesh::from(s.corners, 4, 3);
            s.mediaKind = MediaKind::video;
            s.mediaPath = "/shows/media/a rather long clip name.mov";
        }
        file.surfaces.push_back(s);
    }
    file.outputs.push_back(makeOutput(OutputPreset::leftHalf));
    file.outputs.push_back(makeOutput(OutputPreset::rightHalf));
    return file;
}

std::string withUnknownKey(std::string text, const std::string& value) {
    text.insert(text.find('{') + 1, "\"fromANewerVersion\": " + value + ", ");
    return text;
}

std::string sampleText() {
    return withUnknownKey(writeProjectFile(sampleProject()).value(),
                          R"({"list": [1, 2.5, "some text that is long enough", null, {}]})");
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs operation with its n-th allocation failing, for n = 1, 2, ... until
// it runs through without reaching the failure; check(failedInside) judges
// each run. Returns the number of allocations the operation makes.
template <class Operation, class Check>
std::size_t failEachAllocation(Operation operation, Check check) {
    for (std::size_t n = 1;; ++n) {
        AllocationMeter::failAllocation(n);
        operation();
        const bool failedInside = AllocationMeter::failed();
        AllocationMeter::failAllocation(0);
        check(failedInside, n);
        if (::testing::Test::HasFatalFailure() || !failedInside) {
            return n - 1;
        }
    }
}

// ------------------------------------------------------------ memory needed

std::size_t peakOfReading(const std::string& text) {
    AllocationMeter::resetPeak();
    const std::size_t before = AllocationMeter::live();
    {
        const auto file = readProjectFile(text);
        EXPECT_TRUE(file) << file.error();
    }
    return AllocationMeter::peak() - before;
}

TEST(ProjectMemory, UnknownKeysCostNoMemoryWhateverTheyHold) {
    std::string junk = "[";
    while (junk.size() < (4u << 20)) {
        junk += R"({"a": [1, 2.5, "short text", null, true, {"b": {}}], "c": [[[]]]}, )";
    }
    junk += std::string(100000, '[') + std::string(100000, ']') + "]";
    const std::string text = withUnknownKey(writeProjectFile(sampleProject()).value(), junk);
    // A document tree of this text takes hundreds of megabytes; the reader
    // needs its records and one token at a time.
    EXPECT_LT(peakOfReading(text), 64u * 1024) << text.size() << " bytes of text";
}

TEST(ProjectMemory, ReadingNeedsLessThanThreeTimesTheText) {
    ProjectFile meshed;
    for (int i = 0; i < 6; ++i) {
        Surface s;
        s.mesh = WarpMesh::from(s.corners, 60, 60);
        meshed.surfaces.push_back(s);
    }
    const std::string pretty = writeProjectFile(meshed).value();
    const std::string compact = nlohmann::json::parse(pretty).dump();
    ProjectFile named;
    named.surfaces.emplace_back();
    named.surfaces[0].name = std::string(8u << 20, 'n');
    const std::string longName = writeProjectFile(named).value();

    for (const std::string* text : {&pretty, &compact, &longName}) {
        const std::size_t peak = peakOfReading(*text);
        EXPECT_LT(peak, 3 * text->size()) << text->size() << " bytes of text, peak " << peak;
    }
}

TEST(ProjectMemory, CuesOfManyLooksNeedLessThanThreeTimesTheText) {
    ProjectFile show;
    show.surfaces.emplace_back();
    CueLook bare;
    bare.surface = show.surfaces[0].id;
    for (int i = 0; i < 200; ++i) {
        Cue cue;
        cue.looks.assign(1000, bare);
        show.cues.push_back(std::move(cue));
    }
    // The smallest look there is, without indentation: the worst case.
    const std::string compact = nlohmann::json::parse(writeProjectFile(show).value()).dump();
    const std::size_t peak = peakOfReading(compact);
    EXPECT_LT(peak, 3 * compact.size()) << compact.size() << " bytes of text, peak " << peak;
}

TEST(ProjectMemory, MasksNeedLessThanThreeTimesTheirText) {
    // A surface with a 10,000-point mask: corners only, and Bézier points.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (const bool handles : {false, true}) {
        ProjectFile file;
        file.surfaces.emplace_back();
        Mask mask;
        for (int i = 0; i < 10000; ++i) {
            MaskPoint p{unit(random), unit(random), std::nullopt, std::nullopt};
            if (handles) {
                p.in = Pt{unit(random), unit(random)};
                p.out = Pt{unit(random), unit(random)};
            }
            mask.points.push_back(p);
        }
        file.surfaces[0].masks = {mask};
        const std::string pretty = writeProjectFile(file).value();
        const std::string compact = nlohmann::json::parse(pretty).dump();
        for (const std::string* text : {&pretty, &compact}) {
            const std::size_t peak = peakOfReading(*text);
            EXPECT_LT(peak, 3 * text->size())
                << text->size() << " bytes of text, peak " << peak << (handles ? ", handles" : "");
        }
    }
}

// ---------------------------------------------------------- out of memory

TEST(OutOfMemory, ReadingFailsCleanlyAtEveryAllocation) {
    std::string badKind = sampleText();
    badKind.replace(badKind.find("\"testPattern\""), 13, "\"Video\"");
    const std::string texts[] = {sampleText(), badKind, sampleText().substr(0, 700)};
    for (const std::string& text : texts) {
        const auto expected = readProjectFile(text);
        std::optional<Result<ProjectFile>> file;
        const std::size_t allocations = failEachAllocation(
            [&] { file.emplace(readProjectFile(text)); },
            [&](bool failedInside, std::size_t n) {
                if (!failedInside) {
                    ASSERT_EQ(file->ok(), expected.ok());
                    if (expected) {
                        EXPECT_EQ(file->value(), expected.value());
                    } else {
                        EXPECT_EQ(file->error(), expected.error());
                    }
                    return;
                }
                ASSERT_FALSE(*file) << "allocation " << n;
                if (expected || file->error() != expected.error()) {
                    EXPECT_EQ(file->error(), "out of memory while reading the project")
                        << "allocation " << n;
                }
            });
        EXPECT_GT(allocations, 10u);
    }
}

class OutOfMemoryWithFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }

    test::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    std::vector<std::string> logged;
    ScopedLogSink sink{[this](std::string_view line) { logged.emplace_back(line); }};
};

TEST_F(OutOfMemoryWithFiles, ALoadKeepsTheProjectAtEveryAllocation) {
    const fs::path good = dir / "good.json";
    const fs::path bad = dir / "bad.json";
    std::ofstream(good, std::ios::binary) << sampleText();
    std::ofstream(bad, std::ios::binary) << sampleText().substr(0, 500);

    for (const fs::path& path : {good, bad}) {
        ProjectModel model;
        model.addSurface();
        model.addOutput(OutputPreset::full);
        const SurfaceList surfaces = model.surfaces();
        const auto outputs = model.outputs();
        const std::size_t allocations = failEachAllocation(
            [&] {
                logged.clear();
                if (model.load(path)) {
                    ASSERT_FALSE(AllocationMeter::failed());
                }
            },
            [&](bool failedInside, std::size_t n) {
                if (!failedInside && path == good) {
                    return; // loaded: the last run
                }
                if (!failedInside) {
                    EXPECT_EQ(logged.size(), 1u);
                }
                EXPECT_TRUE(model.surfaces().sharesStorageWith(surfaces)) << n;
                EXPECT_EQ(model.outputs(), outputs) << n;
                EXPECT_FALSE(model.documentURL()) << n;
                // The line itself may be what found no memory.
                ASSERT_LE(logged.size(), 1u) << n;
                if (!logged.empty()) {
                    EXPECT_EQ(logged[0].rfind("Prismeta: failed to load project: ", 0), 0u) << n;
                }
            });
        EXPECT_GT(allocations, 10u);
        if (path == good) {
            EXPECT_EQ(model.documentURL(), good);
            EXPECT_EQ(model.surfaces().size(), 3u);
        }
    }
}

TEST_F(OutOfMemoryWithFiles, ASaveKeepsTheFileWholeAtEveryAllocation) {
    const fs::path target = dir / "show.json";
    ProjectModel model;
    model.addSurface();
    model.addOutput(OutputPreset::full);
    ASSERT_TRUE(model.save(target));
    const std::string oldBytes = slurp(target);
    model.addSurface();
    const std::string newBytes = writeProjectFile(model.makeFile()).value();
    model.setDocumentURL(std::nullopt);

    Status status;
    const std::size_t allocations = failEachAllocation(
        [&] { status = model.save(target); },
        [&](bool failedInside, std::size_t n) {
            const std::string onDisk = slurp(target);
            EXPECT_TRUE(onDisk == oldBytes || onDisk == newBytes) << n;
            std::size_t entries = 0;
            for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) {
                ++entries;
            }
            EXPECT_EQ(entries, 1u) << "a temporary file left behind at allocation " << n;
            if (!failedInside) {
                ASSERT_TRUE(status) << status.error;
                EXPECT_EQ(model.documentURL(), target);
                EXPECT_FALSE(model.hasUnsavedChanges());
                return;
            }
            // Reported as a failure, and the model does not claim the file.
            ASSERT_FALSE(status) << n;
            EXPECT_FALSE(model.documentURL()) << n;
            EXPECT_TRUE(model.hasUnsavedChanges()) << n;
            std::ofstream(target, std::ios::binary | std::ios::trunc) << oldBytes;
        });
    EXPECT_GT(allocations, 10u);
}

// A placed output's display is an object of its own in the file: running out
// of memory while it is built fails the write like any other value.
TEST(OutOfMemory, WritingAPlacedOutputFailsCleanlyAtEveryAllocation) {
    ProjectFile project = sampleProject();
    project.outputs[0].display = OutputDisplay{"HDMI-1", ScreenRect{0, 0, 1920, 1080}, true};
    const std::string expected = writeProjectFile(project).value();
    std::optional<Result<std::string>> bytes;
    const std::size_t allocations =
        failEachAllocation([&] { bytes.emplace(writeProjectFile(project)); },
                           [&](bool failedInside, std::size_t n) {
                               if (!failedInside) {
                                   ASSERT_TRUE(*bytes) << bytes->error();
                                   EXPECT_EQ(bytes->value(), expected);
                                   return;
                               }
                               ASSERT_FALSE(*bytes) << "allocation " << n;
                               EXPECT_EQ(bytes->error(), "out of memory while writing the project")
                                   << "allocation " << n;
                           });
    EXPECT_GT(allocations, 10u);
}

// A lenient key's captured tree is released without allocating: a tree's own
// destructor allocates, which would end the process during unwinding.
struct Screen {
    bool placed = false;
};
void applyScreen(Screen& screen, const nlohmann::json& value) {
    screen.placed = value.is_object() && value.contains("name");
}

} // namespace

namespace reading {
template <> struct Schema<Screen> {
    static constexpr std::array fields{lenient<Screen, applyScreen>("display")};
};
} // namespace reading

namespace {

TEST(OutOfMemory, ALenientValueIsReleasedSafelyAtEveryAllocation) {
    const std::string text =
        R"({"display": {"name": "HDMI-1", "modes": [[1920, 1080, 60.0], [1280, 720, 50]],
            "flags": {"primary": true, "notes": null, "tags": ["a", "b"]}}})";
    const std::size_t allocations = failEachAllocation(
        [&] {
            try {
                (void)reading::readRecordDocument<Screen>(text);
            } catch (const std::bad_alloc&) {
            }
        },
        [](bool, std::size_t) {});
    EXPECT_GT(allocations, 10u);
}

// ------------------------------------------------------ a real memory limit

std::size_t addressSpaceInUse() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmSize:", 0) == 0) {
            return std::strtoull(line.c_str() + 7, nullptr, 10) * 1024;
        }
    }
    return 0;
}

// In a child process started afresh (its heap holds no free space left by
// other tests) whose address space leaves `room` bytes free, loading a file
// that holds a 48 MB name fails with the load line and keeps the project.
// The child reports by its exit status.
[[maybe_unused]] void loadInLimitedChild(std::size_t room, const std::string& expected) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string pattern =
                (fs::temp_directory_path() / "prismeta-large-XXXXXX.json").string();
            const int fd = ::mkstemps(pattern.data(), 5);
            if (fd < 0) {
                std::_Exit(2);
            }
            ::close(fd);
            const fs::path path = pattern;
            {
                ProjectFile file;
                file.surfaces.emplace_back();
                file.surfaces[0].name = std::string(48u << 20, 'n');
                std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
            }
            ProjectModel model;
            model.addSurface();
            const SurfaceList before = model.surfaces();
            std::vector<std::string> lines;
            lines.reserve(4);
            ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
            rlimit limit{};
            ::getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = addressSpaceInUse() + room;
            if (::setrlimit(RLIMIT_AS, &limit) != 0) {
                std::_Exit(2);
            }
            const Status status = model.load(path);
            fs::remove(path);
            const bool kept = model.surfaces().sharesStorageWith(before);
            const bool logged = lines.size() == 1 &&
                                lines[0] == "Prismeta: failed to load project: " + status.error;
            const bool described = status.error.find(expected) != std::string::npos;
            std::_Exit(!status && kept && logged && described ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(OutOfMemory, AFileTooLargeForTheMemoryLeftIsRefusedWithTheLoadLine) {
#ifdef PRISMETA_UNDER_SANITIZER
    GTEST_SKIP() << "sanitizers reserve terabytes of address space, so it cannot be limited";
#else
    // No room for the text itself.
    loadInLimitedChild(16u << 20, "not enough memory to read");
    // Room for the text, not for the name read from it.
    loadInLimitedChild(80u << 20, "out of memory while reading the project");
#endif
}

} // namespace
} // namespace prismeta
