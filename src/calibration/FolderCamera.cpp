#include "calibration/CameraSource.h"
#include "calibration/ImageFiles.h"

#include <filesystem>

namespace prismeta::calibration {

namespace {

class FolderCamera final : public CameraSource {
public:
    explicit FolderCamera(std::string folder) : folder_(std::move(folder)) {}

    Result<GreyImage> capture(const std::string& patternName, const std::atomic<bool>&) override {
        return readGreyImage((std::filesystem::path(folder_) / patternName).string());
    }
    std::string description() const override { return "pictures in " + folder_; }

private:
    std::string folder_;
};

} // namespace

std::unique_ptr<CameraSource> makeFolderCamera(std::string folder) {
    return std::make_unique<FolderCamera>(std::move(folder));
}

} // namespace prismeta::calibration
