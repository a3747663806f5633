// Soak test (`make soak`, not part of `make test`): four looping videos in one
// headless renderer, drawn 60 times a second for SOAK_SECONDS (default ten
// minutes), while surfaces are added, deleted, undone and redone and their
// media switched, as a long show with a busy operator would. At the end it
// reports memory (the resident set with the four videos alone, after a first
// stretch of the show and at its end: it must not grow), render frames
// dropped (60 Hz slots missed because a frame ran late) and video pictures
// dropped (pictures due while a video was shown that never reached the
// renderer), and checks that every decoding thread has ended. Where the
// resident set changed, it says in which kinds of mapping.
#include "MediaFixtures.h"

#include "core/ProjectModel.h"
#include "media/MallocArenas.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace prismeta::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int videoFps = 30;
constexpr double framePeriod = 1.0 / 60.0;
constexpr std::size_t videoSurfaces = 4;
constexpr std::size_t maxSurfaces = 12;

double seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Resident memory of the process in KiB, from /proc.
long residentKiB() {
    return fixtures::processStatusKiB("VmRSS");
}

// Resident KiB of every mapping of the process, keyed by its address range,
// with what it maps (a file, [heap], [stack], or a kind of anonymous memory).
struct Mapping {
    std::string what;
    long residentKiB = 0;
};
std::map<std::string, Mapping> residentMappings() {
    std::ifstream smaps("/proc/self/smaps");
    std::map<std::string, Mapping> mappings;
    std::string line;
    Mapping* current = nullptr;
    while (std::getline(smaps, line)) {
        if (line.rfind("Rss:", 0) == 0 && current != nullptr) {
            current->residentKiB = std::strtol(line.c_str() + 4, nullptr, 10);
            continue;
        }
        const std::size_t dash = line.find('-');
        const std::size_t space = line.find(' ');
        if (dash == std::string::npos || space == std::string::npos || dash > space ||
            line.find_first_not_of("0123456789abcdef") != dash) {
            continue;
        }
        const std::string range = line.substr(0, space);
        const unsigned long from = std::stoul(line.substr(0, dash), nullptr, 16);
        const unsigned long to = std::stoul(line.substr(dash + 1, space - dash - 1), nullptr, 16);
        // address perms offset dev inode [path]
        std::size_t at = space;
        for (int field = 0; field < 4 && at != std::string::npos; ++field) {
            at = line.find_first_not_of(' ', at);
            at = at == std::string::npos ? at : line.find(' ', at);
        }
        std::string path = at == std::string::npos ? "" : line.substr(at);
        path.erase(0, path.find_first_not_of(' '));
        Mapping& mapping = mappings[range];
        // Anonymous memory: the heaps of malloc's thread arenas start at
        // multiples of their 64 MiB maximum; thread stacks are 8 MiB.
        constexpr unsigned long arenaHeap = 64ul << 20;
        if (!path.empty()) {
            mapping.what = path;
        } else if (from % arenaHeap == 0) {
            mapping.what = "malloc thread arenas";
        } else if (to - from == 8ul << 20) {
            mapping.what = "8 MiB anonymous (thread stacks)";
        } else {
            mapping.what = "other anonymous memory";
        }
        current = &mapping;
    }
    return mappings;
}

// Where resident memory grew between two snapshots, summed by what is mapped.
void printGrowth(const std::map<std::string, Mapping>& before,
                 const std::map<std::string, Mapping>& after) {
    std::map<std::string, long> growth;
    for (const auto& [range, mapping] : after) {
        const auto old = before.find(range);
        growth[mapping.what] +=
            mapping.residentKiB - (old == before.end() ? 0 : old->second.residentKiB);
    }
    for (const auto& [range, mapping] : before) {
        if (after.find(range) == after.end()) {
            growth[mapping.what] -= mapping.residentKiB;
        }
    }
    std::vector<std::pair<long, std::string>> sorted;
    for (const auto& [what, kib] : growth) {
        if (kib != 0) {
            sorted.emplace_back(kib, what);
        }
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return std::abs(a.first) > std::abs(b.first); });
    std::printf("  resident change by mapping, start to end (largest first):\n");
    for (std::size_t i = 0; i < sorted.size() && i < 12; ++i) {
        std::printf("    %+8.1f MiB  %s\n", sorted[i].first / 1024.0, sorted[i].second.c_str());
    }
}

// What the video feeds delivered, against the pictures that fell due while
// they were shown.
struct PictureCounts {
    long delivered = 0;
    double due = 0;
    long feeds = 0;
    long feedsWithoutPicture = 0;
};

// Wraps the backend's video feed to count its pictures.
class CountingFeed final : public VideoFeed {
public:
    CountingFeed(std::unique_ptr<VideoFeed> inner, PictureCounts& counts)
        : inner_(std::move(inner)), counts_(counts) {}
    ~CountingFeed() override {
        ++counts_.feeds;
        if (delivered_ == 0) {
            ++counts_.feedsWithoutPicture;
            return;
        }
        counts_.delivered += delivered_;
        // Every picture from the first one shown to the last poll.
        counts_.due += 1.0 + (lastPoll_ - firstPicture_) * videoFps;
    }
    std::optional<MediaFrame> newFrame(double hostTime) override {
        std::optional<MediaFrame> frame = inner_ ? inner_->newFrame(hostTime) : std::nullopt;
        if (frame) {
            if (delivered_++ == 0) {
                firstPicture_ = hostTime;
            }
        }
        lastPoll_ = hostTime;
        return frame;
    }
    void releaseFrame() override {
        if (inner_) {
            inner_->releaseFrame();
        }
    }

private:
    std::unique_ptr<VideoFeed> inner_;
    PictureCounts& counts_;
    long delivered_ = 0;
    double firstPicture_ = 0;
    double lastPoll_ = 0;
};

MediaBackend countingBackend(PictureCounts& counts) {
    MediaBackend backend = liveMediaBackend();
    backend.openVideo = [open = backend.openVideo, &counts](const MediaRequest& request) {
        return std::unique_ptr<VideoFeed>(std::make_unique<CountingFeed>(open(request), counts));
    };
    return backend;
}

struct Media {
    std::vector<std::string> videos;
    std::string still;
};

Media makeMedia(const std::string& dir) {
    Media media;
    const char* encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    const int sizes[videoSurfaces][2] = {{320, 180}, {256, 144}, {384, 216}, {200, 150}};
    for (std::size_t i = 0; i < videoSurfaces; ++i) {
        fixtures::VideoSpec spec;
        spec.encoder = encoder;
        spec.width = sizes[i][0];
        spec.height = sizes[i][1];
        spec.fps = videoFps;
        spec.frames = videoFps * (2 + static_cast<int>(i)); // loops of 2 to 5 seconds
        spec.gop = videoFps;
        spec.noise = 12;
        const std::string path = dir + "/clip" + std::to_string(i) + ".mp4";
        if (!fixtures::writeVideo(path, spec)) {
            std::fprintf(stderr, "soak: cannot make %s\n", path.c_str());
            std::exit(2);
        }
        media.videos.push_back(path);
    }
    media.still = dir + "/still.png";
    if (!fixtures::writeStill(media.still, "png", 256, 256, [](int x, int y) {
            return fixtures::Rgba8{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 128,
                                   255};
        })) {
        std::fprintf(stderr, "soak: cannot make the still\n");
        std::exit(2);
    }
    return media;
}

struct Operations {
    long added = 0;
    long deleted = 0;
    long undone = 0;
    long redone = 0;
    long switched = 0;
};

// Gives s the media of choice: one of the videos (0 to n - 1), the still
// (n), a colour (n + 1) or the test pattern (n + 2), n being the videos.
void showMedia(Surface& s, const Media& media, std::size_t choice) {
    const std::size_t videos = media.videos.size();
    if (choice < videos) {
        s.mediaKind = MediaKind::video;
        s.mediaPath = media.videos[choice];
    } else if (choice == videos) {
        s.mediaKind = MediaKind::image;
        s.mediaPath = media.still;
    } else if (choice == videos + 1) {
        s.mediaKind = MediaKind::color;
    } else {
        s.mediaKind = MediaKind::testPattern;
    }
}

// One operator action on the model. The first four surfaces stay videos in
// every state the history can return to, so four videos always play.
void operate(ProjectModel& model, const Media& media, std::mt19937& random, Operations& ops) {
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const std::size_t count = model.surfaces().size();
    switch (pick(6)) {
    case 0: // add a surface showing a video, the still or the test pattern
        if (count < maxSurfaces) {
            model.addSurface();
            if (auto selected = model.selectedSurface()) {
                Surface s = selected->get();
                // A new surface shows the test pattern unless it gets a
                // video or the still.
                const std::size_t choice = pick(media.videos.size() + 2);
                showMedia(s, media,
                          choice <= media.videos.size() ? choice : media.videos.size() + 2);
                selected->set(s);
            }
            ++ops.added;
        }
        break;
    case 1: // delete one of the extra surfaces
        if (count > videoSurfaces) {
            model.setSelectedID(model.surfaces()[videoSurfaces + pick(count - videoSurfaces)].id);
            model.deleteSelected();
            ++ops.deleted;
        }
        break;
    case 2:
        if (!model.undoStack().empty()) {
            model.undo();
            ++ops.undone;
        }
        break;
    case 3:
        if (!model.redoStack().empty()) {
            model.redo();
            ++ops.redone;
        }
        break;
    default: { // switch a surface's media, as the inspector does (no undo step)
        const std::size_t index = pick(count);
        Surface s = model.surfaces()[index];
        const std::size_t choice =
            pick(index < videoSurfaces ? media.videos.size() : media.videos.size() + 3);
        showMedia(s, media, choice);
        model.replaceSurface(index, std::move(s));
        ++ops.switched;
        break;
    }
    }
}

// Memory the allocator holds but no longer uses (freed buffers of released
// decoders, spread over per-thread arenas) is handed back first, so that the
// figure measures what is live, not what happened to be returned.
long trimmedResidentKiB() {
    ::malloc_trim(0);
    return residentKiB();
}

// Bytes the program has allocated and not freed (every malloc arena, mmapped
// blocks included), in KiB: live memory, whatever the allocator keeps.
long heapInUseKiB() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// The render loop: one frame per 60 Hz slot on the steady clock, an action
// every half second, a progress line every 30 seconds.
struct Loop {
    ProjectModel& model;
    Renderer& renderer;
    OffscreenFramebuffer& target;
    double start;
    long slot = 0;
    long framesDrawn = 0;
    long framesDropped = 0;
    long rssPeak = 0;
    double nextReport = 0;

    void drawUntil(double end, const std::function<void()>& action) {
        for (;;) {
            const double due = start + static_cast<double>(slot) * framePeriod;
            std::this_thread::sleep_until(Clock::time_point(
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due))));
            const double now = seconds(Clock::now());
            const double elapsed = now - start;
            if (elapsed >= end) {
                return;
            }
            if (action && slot % 30 == 29) {
                action();
            }
            renderer.draw(target.target(), now);
            (void)target.readPixels(); // waits for the frame, as a swap would
            ++framesDrawn;
            // Slots whose time passed while this frame was drawn are dropped.
            const double finished = seconds(Clock::now());
            const long nextSlot = static_cast<long>((finished - start) / framePeriod) + 1;
            framesDropped += std::max(0L, nextSlot - slot - 1);
            slot = std::max(slot + 1, nextSlot);

            rssPeak = std::max(rssPeak, residentKiB());
            if (elapsed >= nextReport) {
                std::printf("soak: %5.0f s  rss %6.1f MiB  heap %6.1f MiB  surfaces %2zu  "
                            "decoder threads %d  frames %ld drawn, %ld dropped\n",
                            elapsed, residentKiB() / 1024.0, heapInUseKiB() / 1024.0,
                            model.surfaces().size(), VideoPlayer::liveDecoderThreads(), framesDrawn,
                            framesDropped);
                std::fflush(stdout);
                nextReport += 30;
            }
        }
    }
};

int run(double duration) {
    const std::string dir = fixtures::makeTempDir("soak");
    const Media media = makeMedia(dir);
    const long rssBefore = residentKiB();

    auto context = HeadlessContext::create();
    if (!context) {
        std::fprintf(stderr, "soak: no headless GL: %s\n", context.error().c_str());
        return 2;
    }
    std::printf("soak: %s (%s), %.0f s, 640 x 360 at 60 Hz\n",
                context.value()->rendererName().c_str(), context.value()->platformName().c_str(),
                duration);

    ProjectModel model;
    std::vector<Surface> surfaces;
    for (std::size_t i = 0; i < videoSurfaces; ++i) {
        Surface s;
        const float x = 0.5f * static_cast<float>(i % 2);
        const float y = 0.5f * static_cast<float>(i / 2);
        s.corners = {{x, y}, {x + 0.5f, y}, {x + 0.5f, y + 0.5f}, {x, y + 0.5f}};
        s.mediaKind = MediaKind::video;
        s.mediaPath = media.videos[i];
        surfaces.push_back(s);
    }
    const SurfaceList initial(std::move(surfaces));
    model.setSurfaces(initial);

    PictureCounts pictures;
    auto target = OffscreenFramebuffer::create(640, 360);
    auto renderer = Renderer::create(model, std::nullopt, countingBackend(pictures));
    if (!target || !renderer) {
        std::fprintf(stderr, "soak: no renderer or framebuffer\n");
        return 2;
    }

    std::mt19937 random(20261208);
    Operations ops;
    const auto action = [&] { operate(model, media, random, ops); };
    const double warmUp = std::min(30.0, duration / 10.0);
    const double settle = std::min(10.0, duration / 20.0);
    const double firstShow = std::min(60.0, duration / 10.0);
    Loop loop{model, *renderer, *target, seconds(Clock::now())};

    // The four videos alone until everything has been opened and cached once.
    loop.drawUntil(warmUp, nullptr);
    const long rssFirst = trimmedResidentKiB();
    const long heapFirst = heapInUseKiB();
    // A first stretch of the busy show, then back to the four videos: what
    // the allocators and drivers keep from here on is the start's figure.
    double until = warmUp + firstShow;
    loop.drawUntil(until, action);
    model.setSurfaces(initial);
    loop.drawUntil(until += settle, nullptr);
    const long rssStart = trimmedResidentKiB();
    const long heapStart = heapInUseKiB();
    const auto mappingsStart = residentMappings();
    // The rest of the show, and back to the four videos once more.
    loop.drawUntil(until += duration - firstShow, action);
    model.setSurfaces(initial);
    loop.drawUntil(until += settle, nullptr);
    const long rssEnd = trimmedResidentKiB();
    const long heapEnd = heapInUseKiB();
    const auto mappingsEnd = residentMappings();
    const long rssPeak = loop.rssPeak;
    const long framesDrawn = loop.framesDrawn;
    const long framesDropped = loop.framesDropped;
    renderer.reset();
    const auto released = Clock::now();
    while (VideoPlayer::liveDecoderThreads() > 0 &&
           Clock::now() - released < std::chrono::seconds(2)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int threadsLeft = VideoPlayer::liveDecoderThreads();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);

    const long droppedPictures =
        std::max(0L, static_cast<long>(pictures.due + 0.5) - pictures.delivered);
    std::printf("soak: figures after %.0f s\n", duration);
    std::printf("  memory with the four videos playing, resident (heap in use):\n"
                "    %.1f MiB (%.1f MiB) after %.0f s warm-up\n"
                "    %.1f MiB (%.1f MiB) after the first %.0f s of the show: the start\n"
                "    %.1f MiB (%.1f MiB) at the end\n"
                "    peak resident %.1f MiB; %.1f MiB before the first frame\n",
                rssFirst / 1024.0, heapFirst / 1024.0, warmUp, rssStart / 1024.0,
                heapStart / 1024.0, firstShow, rssEnd / 1024.0, heapEnd / 1024.0, rssPeak / 1024.0,
                rssBefore / 1024.0);
    std::printf("  render frames: %ld drawn, %ld dropped (%.2f %%)\n", framesDrawn, framesDropped,
                100.0 * framesDropped / std::max(1L, framesDrawn + framesDropped));
    std::printf("  video pictures: %ld shown of %.0f due, %ld dropped (%.2f %%); %ld video "
                "sources, %ld released before their first picture\n",
                pictures.delivered, pictures.due, droppedPictures,
                100.0 * droppedPictures / std::max(1.0, pictures.due), pictures.feeds,
                pictures.feedsWithoutPicture);
    std::printf("  operations: %ld added, %ld deleted, %ld undone, %ld redone, %ld media "
                "switches\n",
                ops.added, ops.deleted, ops.undone, ops.redone, ops.switched);
    std::printf("  decoding threads left after release: %d\n", threadsLeft);
    printGrowth(mappingsStart, mappingsEnd);

    // Growth beyond allocator noise (5 % and 8 MiB) over the show is a leak.
    const bool grew = rssEnd > rssStart + rssStart / 20 + 8 * 1024;
    if (grew) {
        std::printf("soak: FAILED: memory grew\n");
    }
    if (threadsLeft != 0) {
        std::printf("soak: FAILED: decoding threads outlived the renderer\n");
    }
    return grew || threadsLeft != 0 ? 1 : 0;
}

} // namespace
} // namespace prismeta::soak

int main() {
    // As the application does: a long show runs with its malloc arenas capped.
    prismeta::limitMallocArenas();
    const char* text = std::getenv("SOAK_SECONDS");
    const double duration = text != nullptr ? std::strtod(text, nullptr) : 600.0;
    if (!(duration > 0)) {
        std::fprintf(stderr, "soak: SOAK_SECONDS must be a positive number of seconds\n");
        return 2;
    }
    return prismeta::soak::run(duration);
}
