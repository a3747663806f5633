#pragma once

// A synthetic calibration rig: projectors with known lenses and poses light
// a wall (flat, a cylinder or a gentle bulge) that a camera with its own
// lens and pose looks at, with lens blur, vignetting, a non-linear response,
// sensor noise and ambient light. It renders what the camera would see, and
// knows the truth: projector pixel -> wall point -> camera pixel, exactly.
//
// Pixel coordinates put a pixel's edges on whole numbers (its centre at
// i + 0.5), as src/calibration does.

#include "calibration/CalibrationTypes.h"
#include "calibration/WarpFit.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace prismeta::rig {

using calibration::GreyImage;
using calibration::Vec2;

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// World coordinates in metres: the wall near z = 0, x right, y down, the
// room (projectors and camera) at negative z.
enum class WallShape {
    flat,     // z = 0
    cylinder, // a vertical column of radius `radius`, bending away at the sides
    bulge,    // z = -height * exp(-(x^2 + y^2) / (2 width^2)), toward the room
};

struct Wall {
    WallShape shape = WallShape::flat;
    double radius = 6.0;
    double bulgeHeight = 0.12;
    double bulgeWidth = 1.0;
};

// A pinhole: pixel = (fx * X / Z + cx, fy * Y / Z + cy) in the device's own
// frame (X right, Y down, Z forward), plus a radial term k1 on the
// normalized coordinates.
struct Lens {
    int width = 0;
    int height = 0;
    double fx = 0.0;
    double fy = 0.0;
    double cx = 0.0;
    double cy = 0.0;
    double k1 = 0.0;
};

// A lens at a position, looking along the rotated Z axis: yaw about Y,
// pitch about X, roll about Z (radians), applied roll, pitch, yaw.
struct Device {
    Lens lens;
    Vec3 position;
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
};

struct RigProjector {
    Device device;
    double brightness = 1.0;   // full white on the wall, in units of the camera's range
    double blackLevel = 0.003; // light at level 0, a share of full white
    double gamma = 2.2;        // light = (level / 255)^gamma
};

struct RigCamera {
    Device device;
    double blurSigma = 0.6;     // lens blur, camera pixels
    double vignetting = 0.25;   // light lost at the picture's corners
    double responseGamma = 2.2; // level = 255 * (exposure * light)^(1 / responseGamma)
    double exposure = 0.8;
    double ambient = 0.02;   // light on the wall from the room, share of full white
    double noiseSigma = 1.0; // sensor noise, levels
    int supersampling = 2;   // samples per camera pixel side
};

class SyntheticRig {
public:
    SyntheticRig(Wall wall, RigCamera camera, std::vector<RigProjector> projectors,
                 std::uint32_t seed = 1);

    const RigCamera& camera() const { return camera_; }
    RigCamera& camera() { return camera_; }
    const std::vector<RigProjector>& projectors() const { return projectors_; }
    std::vector<RigProjector>& projectors() { return projectors_; }

    // What the camera sees, each projector showing its picture (one per
    // projector, at its raster's size; null or empty: black).
    GreyImage capture(std::span<const GreyImage* const> pictures);
    // Projector p showing `picture`, every other one black.
    GreyImage captureOne(std::size_t p, const GreyImage& picture);
    // The shown projectors' light on the wall (their black included, the
    // room's light not) averaged over each camera pixel, before blur,
    // vignetting, response and noise: a light meter, for evenness.
    std::vector<double> wallLight(std::span<const GreyImage* const> pictures) const;

    // The truth.
    std::optional<Vec3> wallPoint(const Vec3& origin, const Vec3& direction) const;
    std::optional<Vec3> wallSeenByCamera(Vec2 cameraPixel) const;
    std::optional<Vec3> wallLitByProjector(std::size_t p, Vec2 projectorPixel) const;
    std::optional<Vec2> cameraPixel(const Vec3& world) const;
    std::optional<Vec2> projectorPixel(std::size_t p, const Vec3& world) const;
    // Canvas point -> projector pixel, the canvas lying on the camera
    // picture through canvasToCamera.
    std::optional<Vec2> canvasTruth(std::size_t p, const calibration::Homography& canvasToCamera,
                                    Vec2 canvas) const;

private:
    void prepare();

    Wall wall_;
    RigCamera camera_;
    std::vector<RigProjector> projectors_;
    std::uint32_t seed_;
    std::uint32_t captures_ = 0;
    // Each projector's pixel position at every corner of the camera's pixels
    // ((W + 1) x (H + 1) points), NaN where its light does not reach;
    // positions between corners are interpolated.
    std::vector<std::vector<float>> cornerX_;
    std::vector<std::vector<float>> cornerY_;
    // Ambient light and every projector's black, per camera pixel.
    std::vector<float> base_;
};

struct RigSetup {
    WallShape shape = WallShape::flat;
    int projectorWidth = 1920;
    int projectorHeight = 1080;
    int cameraWidth = 1920;
    int cameraHeight = 1080;
    int cols = 2;
    int rows = 2;
    double overlap = 0.15;
    double noiseSigma = 1.0;
    double ambient = 0.02;
    std::vector<double> brightness; // per projector; missing ones 1
    std::uint32_t seed = 1;
};

// cols x rows projectors side by side, each slightly turned (keystoned), the
// neighbours overlapping by about `overlap` of a projector's width, and one
// camera seeing them all.
SyntheticRig makeGridRig(const RigSetup& setup);

// Each projector's picture for a canvas whose content is light(q) (linear,
// 0..1), drawn through the fitted warps and blend maps as an output draws:
// level = 255 * (light * blend)^(1 / gamma).
std::vector<GreyImage> renderOutputs(const SyntheticRig& rig,
                                     std::span<const calibration::WarpFit> fits,
                                     std::span<const calibration::Grey16Image> blendMaps,
                                     const std::function<double(Vec2)>& light);

} // namespace prismeta::rig
