#pragma once

#include "render/MediaBackend.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta::test {

// A stand-in for the decoders: counts what the renderer opens and releases,
// and hands out pictures the test prepared.
struct FakeMedia {
    struct Picture {
        int width = 1;
        int height = 1;
        std::vector<std::uint8_t> rgba{255, 255, 255, 255};
    };

    std::map<std::string, int> opened;   // path -> feeds made
    std::map<std::string, int> released; // path -> feeds destroyed
    std::map<std::string, Picture> images;
    // Video frames by path: each newFrame call at a time >= due delivers the
    // front picture once.
    struct Due {
        double time;
        Picture picture;
    };
    std::map<std::string, std::deque<Due>> videos;
    bool throwOnOpen = false;

    MediaBackend backend();
    int live(const std::string& path) const {
        const auto o = opened.find(path);
        const auto r = released.find(path);
        return (o == opened.end() ? 0 : o->second) - (r == released.end() ? 0 : r->second);
    }
};

inline MediaBackend FakeMedia::backend() {
    struct Image : ImageFeed {
        FakeMedia* media;
        std::string path;
        Picture picture;
        ~Image() override { ++media->released[path]; }
        std::optional<MediaFrame> takeImage() override {
            const auto it = media->images.find(path);
            if (it == media->images.end()) {
                return std::nullopt; // not decoded (yet)
            }
            picture = it->second;
            return MediaFrame{picture.width, picture.height,
                              static_cast<std::size_t>(picture.width) * 4, MediaPixelFormat::rgba8,
                              picture.rgba.data()};
        }
    };
    struct Video : VideoFeed {
        FakeMedia* media;
        std::string path;
        Picture current;
        ~Video() override { ++media->released[path]; }
        std::optional<MediaFrame> newFrame(double hostTime) override {
            auto& queue = media->videos[path];
            if (queue.empty() || queue.front().time > hostTime) {
                return std::nullopt;
            }
            current = queue.front().picture;
            queue.pop_front();
            return MediaFrame{current.width, current.height,
                              static_cast<std::size_t>(current.width) * 4, MediaPixelFormat::rgba8,
                              current.rgba.data()};
        }
    };
    MediaBackend backend;
    backend.openImage = [this](const MediaRequest& request) -> std::unique_ptr<ImageFeed> {
        const std::string path(request.path);
        if (throwOnOpen) {
            throw std::runtime_error("decoder exploded");
        }
        ++opened[path];
        auto feed = std::make_unique<Image>();
        feed->media = this;
        feed->path = path;
        return feed;
    };
    backend.openVideo = [this](const MediaRequest& request) -> std::unique_ptr<VideoFeed> {
        const std::string path(request.path);
        if (throwOnOpen) {
            throw std::runtime_error("decoder exploded");
        }
        ++opened[path];
        auto feed = std::make_unique<Video>();
        feed->media = this;
        feed->path = path;
        return feed;
    };
    return backend;
}

inline FakeMedia::Picture solid(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return {1, 1, {r, g, b, 255}};
}

} // namespace prismeta::test
