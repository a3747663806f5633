#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

class GreyImageLoad;
struct GreyImage;

// One output's blend map as a texture: one channel at 16 bits, row 0 the
// crop's top, holding the map's value v already raised to 1/gamma (what the
// picture is multiplied by), so drawing it costs one read. The file is
// decoded on the media library's loader threads when the map asked for
// changes, and uploaded when it is in and again when the gamma changes (the
// decoded values are kept for that); a steady frame allocates nothing. While the first map loads
// the output gets no light (state loading), so a window never flashes unblended; while a later one
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
    // (where it was found, or the path itself), for a projector of gamma.
    void request(std::string_view path, std::string_view openPath, float gamma);
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
    void upload();

    std::string path_;
    std::string openPath_;
    std::unique_ptr<GreyImageLoad> load_;
    std::unique_ptr<GreyImage> image_; // as decoded
    float gamma_ = 1.0f;
    float uploadedGamma_ = 0.0f;
    std::vector<std::uint16_t> shaped_; // the values raised to 1/gamma, for the upload
    unsigned texture_ = 0;
    bool ready_ = false;
};

} // namespace prismeta
