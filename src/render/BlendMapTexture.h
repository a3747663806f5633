#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace prismeta {

class GreyImageLoad;

// One output's blend map as a texture: one channel at 16 bits, row 0 the
// crop's top. The file is decoded on the media library's loader threads when
// the map asked for changes, and uploaded once when it is in; a steady frame
// allocates nothing. While the first map loads the output gets no light
// (state loading), so a window never flashes unblended; while a later one
// loads the previous one stays. A file that cannot be read gets one log line
// and no map: full light, never a black output.
//
// Thread: the one with the GL context current, for every call and the
// destructor.
class BlendMapTexture {
public:
    enum class State { none, loading, ready };

    BlendMapTexture();
    ~BlendMapTexture();
    BlendMapTexture(const BlendMapTexture&) = delete;
    BlendMapTexture& operator=(const BlendMapTexture&) = delete;

    // The map to show: its stored path (empty: none), read from openPath
    // (where it was found, or the path itself).
    void request(std::string_view path, std::string_view openPath);
    // Takes in a finished decode (uploads it, or logs the failure).
    void collect();
    // Waits for a running decode and takes it in (the CLI, tests).
    void finish();
    // Whether a decode is running.
    bool pending() const { return load_ != nullptr; }

    State state() const;
    unsigned texture() const { return texture_; }

    void clear();

private:
    std::string path_;
    std::string openPath_;
    std::unique_ptr<GreyImageLoad> load_;
    unsigned texture_ = 0;
    bool ready_ = false;
};

} // namespace prismeta
