#include "calibration/CameraSource.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace prismeta::calibration {

namespace {

class LitTogetherCamera final : public CameraSource {
public:
    LitTogetherCamera(std::unique_ptr<CameraSource> folder, std::vector<std::string> whites)
        : folder_(std::move(folder)), whites_(std::move(whites)) {}
    Result<GreyImage> capture(const std::string&, const std::atomic<bool>& cancel) override {
        std::optional<GreyImage> together;
        for (const std::string& name : whites_) {
            Result<GreyImage> picture = folder_->capture(name, cancel);
            if (!picture) {
                return picture;
            }
            if (!together) {
                together = std::move(picture.value());
                continue;
            }
            if (picture->width != together->width || picture->height != together->height) {
                return Result<GreyImage>::failure(
                    name + " is " + std::to_string(picture->width) + " x " +
                    std::to_string(picture->height) + ", " + whites_.front() + " " +
                    std::to_string(together->width) + " x " + std::to_string(together->height) +
                    ": the pictures must be taken with one camera, unmoved");
            }
            for (std::size_t i = 0; i < together->pixels.size(); ++i) {
                together->pixels[i] = std::max(together->pixels[i], picture->pixels[i]);
            }
        }
        if (!together) {
            return Result<GreyImage>::failure("patterns.json lists no pictures");
        }
        return std::move(*together);
    }
    std::string description() const override { return folder_->description(); }

private:
    std::unique_ptr<CameraSource> folder_;
    std::vector<std::string> whites_;
};

} // namespace

std::unique_ptr<CameraSource> makeLitTogetherCamera(std::unique_ptr<CameraSource> source,
                                                    std::vector<std::string> names) {
    return std::make_unique<LitTogetherCamera>(std::move(source), std::move(names));
}

} // namespace prismeta::calibration
