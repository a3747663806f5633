#include "SyntheticRig.h"

#include "calibration/Parallel.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace prismeta::rig {

using calibration::Homography;
using calibration::parallelBands;

namespace {

constexpr float none = std::numeric_limits<float>::quiet_NaN();

struct Mat3 {
    double m[9];
    Vec3 operator*(const Vec3& v) const {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    Vec3 transposedTimes(const Vec3& v) const {
        return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
                m[2] * v.x + m[5] * v.y + m[8] * v.z};
    }
    Mat3 operator*(const Mat3& o) const {
        Mat3 r{};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r.m[i * 3 + j] =
                    m[i * 3] * o.m[j] + m[i * 3 + 1] * o.m[3 + j] + m[i * 3 + 2] * o.m[6 + j];
            }
        }
        return r;
    }
};

// Device frame to world.
Mat3 rotation(const Device& d) {
    const double cy = std::cos(d.yaw), sy = std::sin(d.yaw);
    const double cp = std::cos(d.pitch), sp = std::sin(d.pitch);
    const double cr = std::cos(d.roll), sr = std::sin(d.roll);
    const Mat3 yaw{{cy, 0, sy, 0, 1, 0, -sy, 0, cy}};
    const Mat3 pitch{{1, 0, 0, 0, cp, -sp, 0, sp, cp}};
    const Mat3 roll{{cr, -sr, 0, sr, cr, 0, 0, 0, 1}};
    return yaw * pitch * roll;
}

std::optional<Vec2> project(const Device& d, const Vec3& world) {
    const Vec3 rel{world.x - d.position.x, world.y - d.position.y, world.z - d.position.z};
    const Vec3 local = rotation(d).transposedTimes(rel);
    if (!(local.z > 1e-9)) {
        return std::nullopt;
    }
    const double xn = local.x / local.z;
    const double yn = local.y / local.z;
    const double f = 1.0 + d.lens.k1 * (xn * xn + yn * yn);
    return Vec2{d.lens.fx * xn * f + d.lens.cx, d.lens.fy * yn * f + d.lens.cy};
}

Vec3 ray(const Device& d, Vec2 pixel) {
    const double xd = (pixel.x - d.lens.cx) / d.lens.fx;
    const double yd = (pixel.y - d.lens.cy) / d.lens.fy;
    double xn = xd;
    double yn = yd;
    for (int i = 0; i < 20 && d.lens.k1 != 0.0; ++i) {
        const double f = 1.0 + d.lens.k1 * (xn * xn + yn * yn);
        xn = xd / f;
        yn = yd / f;
    }
    return rotation(d) * Vec3{xn, yn, 1.0};
}

// A small, fast generator for the sensor noise: one stream per row and capture.
struct Noise {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }
    double normal() {
        return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
    }
};

} // namespace

SyntheticRig::SyntheticRig(Wall wall, RigCamera camera, std::vector<RigProjector> projectors,
                           std::uint32_t seed)
    : wall_(wall), camera_(std::move(camera)), projectors_(std::move(projectors)), seed_(seed) {
    prepare();
}

std::optional<Vec3> SyntheticRig::wallPoint(const Vec3& o, const Vec3& d) const {
    if (!(std::fabs(d.z) > 1e-12)) {
        return std::nullopt;
    }
    double t = -o.z / d.z;
    switch (wall_.shape) {
    case WallShape::flat:
        break;
    case WallShape::cylinder: {
        // x^2 + (z - R)^2 = R^2, the near side.
        const double r = wall_.radius;
        const double a = d.x * d.x + d.z * d.z;
        const double b = 2.0 * (o.x * d.x + (o.z - r) * d.z);
        const double c = o.x * o.x + (o.z - r) * (o.z - r) - r * r;
        const double disc = b * b - 4.0 * a * c;
        if (disc < 0.0) {
            return std::nullopt;
        }
        t = (-b - std::sqrt(disc)) / (2.0 * a);
        break;
    }
    case WallShape::bulge: {
        const double s2 = 2.0 * wall_.bulgeWidth * wall_.bulgeWidth;
        for (int i = 0; i < 30; ++i) {
            const double x = o.x + t * d.x;
            const double y = o.y + t * d.y;
            const double e = std::exp(-(x * x + y * y) / s2);
            const double g = o.z + t * d.z + wall_.bulgeHeight * e;
            const double dg = d.z + wall_.bulgeHeight * e * (-2.0 * (x * d.x + y * d.y) / s2);
            const double step = g / dg;
            t -= step;
            if (std::fabs(step) < 1e-13) {
                break;
            }
        }
        break;
    }
    }
    if (!(t > 0.0) || !std::isfinite(t)) {
        return std::nullopt;
    }
    return Vec3{o.x + t * d.x, o.y + t * d.y, o.z + t * d.z};
}

std::optional<Vec3> SyntheticRig::wallSeenByCamera(Vec2 pixel) const {
    return wallPoint(camera_.device.position, ray(camera_.device, pixel));
}

std::optional<Vec3> SyntheticRig::wallLitByProjector(std::size_t p, Vec2 pixel) const {
    const Device& d = projectors_[p].device;
    return wallPoint(d.position, ray(d, pixel));
}

std::optional<Vec2> SyntheticRig::cameraPixel(const Vec3& world) const {
    return project(camera_.device, world);
}

std::optional<Vec2> SyntheticRig::projectorPixel(std::size_t p, const Vec3& world) const {
    return project(projectors_[p].device, world);
}

std::optional<Vec2> SyntheticRig::canvasTruth(std::size_t p, const Homography& canvasToCamera,
                                              Vec2 canvas) const {
    const auto wall = wallSeenByCamera(canvasToCamera.apply(canvas));
    if (!wall) {
        return std::nullopt;
    }
    return projectorPixel(p, *wall);
}

void SyntheticRig::prepare() {
    const int w = camera_.device.lens.width;
    const int h = camera_.device.lens.height;
    const std::size_t corners = static_cast<std::size_t>(w + 1) * (h + 1);
    cornerX_.assign(projectors_.size(), std::vector<float>(corners, none));
    cornerY_.assign(projectors_.size(), std::vector<float>(corners, none));
    parallelBands(h + 1, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            for (int x = 0; x <= w; ++x) {
                const auto wall = wallSeenByCamera({double(x), double(y)});
                if (!wall) {
                    continue;
                }
                for (std::size_t p = 0; p < projectors_.size(); ++p) {
                    const auto px = projectorPixel(p, *wall);
                    if (px) {
                        const std::size_t i = static_cast<std::size_t>(y) * (w + 1) + x;
                        cornerX_[p][i] = static_cast<float>(px->x);
                        cornerY_[p][i] = static_cast<float>(px->y);
                    }
                }
            }
        }
    });
    // The light that is always there: the room's and every projector's black.
    std::vector<GreyImage> black;
    for (const RigProjector& p : projectors_) {
        black.emplace_back(p.device.lens.width, p.device.lens.height, 0);
    }
    std::vector<const GreyImage*> pictures;
    for (const GreyImage& b : black) {
        pictures.push_back(&b);
    }
    base_.clear();
    const std::vector<double> light = wallLight(pictures);
    base_.assign(light.begin(), light.end());
}

std::vector<double> SyntheticRig::wallLight(std::span<const GreyImage* const> pictures) const {
    const int w = camera_.device.lens.width;
    const int h = camera_.device.lens.height;
    const int s = std::max(1, camera_.supersampling);
    std::vector<double> out(static_cast<std::size_t>(w) * h, 0.0);
    std::vector<std::array<float, 256>> lightOf(projectors_.size());
    for (std::size_t p = 0; p < projectors_.size(); ++p) {
        const RigProjector& rp = projectors_[p];
        for (int v = 0; v < 256; ++v) {
            lightOf[p][static_cast<std::size_t>(v)] = static_cast<float>(
                rp.brightness *
                (rp.blackLevel + (1.0 - rp.blackLevel) * std::pow(v / 255.0, rp.gamma)));
        }
    }
    const bool withBase = !base_.empty();
    parallelBands(h, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                double sum = withBase ? 0.0 : camera_.ambient * s * s;
                for (std::size_t p = 0; p < projectors_.size(); ++p) {
                    const GreyImage* picture = p < pictures.size() ? pictures[p] : nullptr;
                    if (picture == nullptr || picture->empty()) {
                        continue;
                    }
                    const std::vector<float>& cx = cornerX_[p];
                    const std::vector<float>& cy = cornerY_[p];
                    const std::size_t c00 = static_cast<std::size_t>(y) * (w + 1) + x;
                    const std::size_t c10 = c00 + 1;
                    const std::size_t c01 = c00 + (w + 1);
                    const std::size_t c11 = c01 + 1;
                    if (cx[c00] != cx[c00] || cx[c10] != cx[c10] || cx[c01] != cx[c01] ||
                        cx[c11] != cx[c11]) {
                        continue;
                    }
                    for (int sy = 0; sy < s; ++sy) {
                        const float b = (sy + 0.5f) / s;
                        for (int sx = 0; sx < s; ++sx) {
                            const float a = (sx + 0.5f) / s;
                            const float px = (cx[c00] * (1 - a) + cx[c10] * a) * (1 - b) +
                                             (cx[c01] * (1 - a) + cx[c11] * a) * b;
                            const float py = (cy[c00] * (1 - a) + cy[c10] * a) * (1 - b) +
                                             (cy[c01] * (1 - a) + cy[c11] * a) * b;
                            if (!(px >= 0.0f && py >= 0.0f && px < picture->width &&
                                  py < picture->height)) {
                                continue;
                            }
                            const std::uint8_t level =
                                picture->at(static_cast<int>(px), static_cast<int>(py));
                            sum += lightOf[p][level];
                        }
                    }
                }
                out[i] = sum / (s * s);
            }
        }
    });
    return out;
}

GreyImage SyntheticRig::capture(std::span<const GreyImage* const> pictures) {
    const int w = camera_.device.lens.width;
    const int h = camera_.device.lens.height;
    // Projectors showing black add what the base already holds; the others
    // add their picture's light above their black.
    std::vector<GreyImage> aboveBlack;
    std::vector<const GreyImage*> lit(projectors_.size(), nullptr);
    for (std::size_t p = 0; p < projectors_.size() && p < pictures.size(); ++p) {
        lit[p] = pictures[p];
    }
    std::vector<double> light = wallLight(lit);
    // wallLight counts every shown projector's black again: take it out.
    std::vector<const GreyImage*> blacks(projectors_.size(), nullptr);
    std::vector<GreyImage> blackPictures;
    blackPictures.reserve(projectors_.size());
    for (std::size_t p = 0; p < projectors_.size(); ++p) {
        if (lit[p] != nullptr && !lit[p]->empty()) {
            blackPictures.emplace_back(lit[p]->width, lit[p]->height, 0);
            blacks[p] = &blackPictures.back();
        }
    }
    const std::vector<double> shownBlack = wallLight(blacks);
    cv::Mat e(h, w, CV_32F);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            e.at<float>(y, x) = static_cast<float>(base_[i] + light[i] - shownBlack[i]);
        }
    }
    if (camera_.blurSigma > 0.0) {
        cv::GaussianBlur(e, e, cv::Size(0, 0), camera_.blurSigma, camera_.blurSigma,
                         cv::BORDER_REPLICATE);
    }
    GreyImage out(w, h);
    const std::uint32_t shot = captures_++;
    const double halfDiagonal2 = 0.25 * (double(w) * w + double(h) * h);
    parallelBands(h, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            Noise noise{(std::uint64_t{seed_} << 40) ^ (std::uint64_t{shot} << 20) ^
                        std::uint64_t(y)};
            for (int x = 0; x < w; ++x) {
                const double dx = x + 0.5 - w * 0.5;
                const double dy = y + 0.5 - h * 0.5;
                const double vignette =
                    1.0 - camera_.vignetting * (dx * dx + dy * dy) / halfDiagonal2;
                const double exposed =
                    std::clamp(camera_.exposure * e.at<float>(y, x) * vignette, 0.0, 1.0);
                double level = 255.0 * std::pow(exposed, 1.0 / camera_.responseGamma);
                if (camera_.noiseSigma > 0.0) {
                    level += camera_.noiseSigma * noise.normal();
                }
                out.pixels[static_cast<std::size_t>(y) * w + x] =
                    static_cast<std::uint8_t>(std::clamp(std::lround(level), 0l, 255l));
            }
        }
    });
    return out;
}

GreyImage SyntheticRig::captureOne(std::size_t p, const GreyImage& picture) {
    std::vector<const GreyImage*> pictures(projectors_.size(), nullptr);
    pictures[p] = &picture;
    return capture(pictures);
}

SyntheticRig makeGridRig(const RigSetup& setup) {
    const double aspect = double(setup.projectorWidth) / setup.projectorHeight;
    const double wp = 1.6; // a projector's picture on the wall, metres wide
    const double hp = wp / aspect;
    const double stepX = wp * (1.0 - setup.overlap);
    const double stepY = hp * (1.0 - setup.overlap);
    const double totalW = wp + (setup.cols - 1) * stepX;
    const double totalH = hp + (setup.rows - 1) * stepY;
    const double throwDistance = 2.5;
    std::vector<RigProjector> projectors;
    for (int r = 0; r < setup.rows; ++r) {
        for (int c = 0; c < setup.cols; ++c) {
            const int k = r * setup.cols + c;
            const Vec3 aim{-totalW / 2 + wp / 2 + c * stepX, -totalH / 2 + hp / 2 + r * stepY, 0.0};
            RigProjector p;
            Lens& lens = p.device.lens;
            lens.width = setup.projectorWidth;
            lens.height = setup.projectorHeight;
            lens.fx = lens.fy = setup.projectorWidth * throwDistance / wp;
            lens.cx = setup.projectorWidth * (0.5 + 0.01 * ((k % 3) - 1));
            lens.cy = setup.projectorHeight * (0.5 - 0.01 * ((k % 2) * 2 - 1));
            // Hung off the aim's axis and turned toward it: every picture a
            // slightly different keystone.
            const double offX = 0.12 * ((k * 7 % 5) - 2) / 2.0;
            const double offY = 0.08 * ((k * 3 % 4) - 1.5) / 1.5;
            p.device.position = {aim.x + offX, aim.y + offY, -throwDistance};
            p.device.yaw = std::atan2(aim.x - p.device.position.x, throwDistance);
            p.device.pitch = -std::atan2(aim.y - p.device.position.y, throwDistance);
            p.device.roll = 0.012 * ((k % 3) - 1);
            p.brightness =
                k < static_cast<int>(setup.brightness.size()) ? setup.brightness[k] : 1.0;
            projectors.push_back(p);
        }
    }
    RigCamera camera;
    Lens& lens = camera.device.lens;
    lens.width = setup.cameraWidth;
    lens.height = setup.cameraHeight;
    const double cameraDistance = 3.2;
    lens.fx = lens.fy = std::min(0.86 * setup.cameraWidth * cameraDistance / totalW,
                                 0.86 * setup.cameraHeight * cameraDistance / totalH);
    lens.cx = setup.cameraWidth * 0.5;
    lens.cy = setup.cameraHeight * 0.5;
    camera.device.position = {0.08, -0.05, -cameraDistance};
    camera.device.yaw = std::atan2(-0.08, cameraDistance);
    camera.device.pitch = -std::atan2(0.05, cameraDistance);
    camera.noiseSigma = setup.noiseSigma;
    camera.ambient = setup.ambient;
    // Full white of one projector and the room's light stay below saturation.
    camera.exposure = 0.85 / (1.0 + setup.ambient);
    Wall wall;
    wall.shape = setup.shape;
    return SyntheticRig(wall, camera, std::move(projectors), setup.seed);
}

std::vector<GreyImage> renderOutputs(const SyntheticRig& rig,
                                     std::span<const calibration::WarpFit> fits,
                                     std::span<const calibration::Grey16Image> blendMaps,
                                     const std::function<double(Vec2)>& light) {
    std::vector<GreyImage> out;
    for (std::size_t p = 0; p < fits.size(); ++p) {
        const calibration::WarpFit& f = fits[p];
        const RigProjector& rp = rig.projectors()[p];
        GreyImage image(rp.device.lens.width, rp.device.lens.height, 0);
        const int cols = f.meshCols > 0 ? f.meshCols : 1;
        const int rows = f.meshCols > 0 ? f.meshRows : 1;
        const auto point = [&](int c, int r) {
            const Vec2 n = f.meshCols > 0
                               ? f.meshPoints[static_cast<std::size_t>(r) * (cols + 1) + c]
                               : f.corners[r == 0 ? (c == 0 ? 0 : 1) : (c == 0 ? 3 : 2)];
            return Vec2{n.x * f.projectorWidth, n.y * f.projectorHeight};
        };
        const calibration::Grey16Image* map = p < blendMaps.size() ? &blendMaps[p] : nullptr;
        const auto blend = [&](double u, double v) {
            if (map == nullptr || map->values.empty()) {
                return 1.0;
            }
            const double x = std::clamp(u * map->width - 0.5, 0.0, map->width - 1.0);
            const double y = std::clamp(v * map->height - 0.5, 0.0, map->height - 1.0);
            const int x0 = static_cast<int>(x);
            const int y0 = static_cast<int>(y);
            const int x1 = std::min(x0 + 1, map->width - 1);
            const int y1 = std::min(y0 + 1, map->height - 1);
            const double a = x - x0;
            const double b = y - y0;
            const auto at = [&](int xx, int yy) {
                return map->values[static_cast<std::size_t>(yy) * map->width + xx] / 65535.0;
            };
            return (at(x0, y0) * (1 - a) + at(x1, y0) * a) * (1 - b) +
                   (at(x0, y1) * (1 - a) + at(x1, y1) * a) * b;
        };
        const auto shade = [&](int px, int py, double u, double v) {
            const Vec2 q{f.crop.x + u * f.crop.width, f.crop.y + v * f.crop.height};
            const double l = std::clamp(light(q) * blend(u, v), 0.0, 1.0);
            image.pixels[static_cast<std::size_t>(py) * image.width + px] =
                static_cast<std::uint8_t>(std::lround(255.0 * std::pow(l, 1.0 / rp.gamma)));
        };
        if (f.meshCols > 0 && f.interpolation == WarpMesh::Interpolation::smooth) {
            // The smooth map, as the renderer draws it: each pixel's picture point.
            const std::optional<WarpMesh> mesh = calibration::storedMesh(f);
            const std::optional<SmoothMeshMap> smooth =
                mesh ? SmoothMeshMap::from(*mesh) : std::nullopt;
            for (int py = 0; smooth && py < image.height; ++py) {
                for (int px = 0; px < image.width; ++px) {
                    const auto uv =
                        smooth->inverse(Pt{static_cast<float>((px + 0.5) / f.projectorWidth),
                                           static_cast<float>((py + 0.5) / f.projectorHeight)});
                    if (uv && uv->x >= 0.0f && uv->x < 1.0f && uv->y >= 0.0f && uv->y < 1.0f) {
                        shade(px, py, uv->x, uv->y);
                    }
                }
            }
        } else {
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < cols; ++c) {
                    const std::array<Vec2, 4> quad{point(c, r), point(c + 1, r),
                                                   point(c + 1, r + 1), point(c, r + 1)};
                    Homography cell;
                    if (!Homography::fromUnitSquare(quad, cell)) {
                        continue;
                    }
                    const Homography inverse = cell.inverse();
                    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
                    for (const Vec2& q : quad) {
                        x0 = std::min(x0, q.x);
                        y0 = std::min(y0, q.y);
                        x1 = std::max(x1, q.x);
                        y1 = std::max(y1, q.y);
                    }
                    const int px0 = std::max(0, static_cast<int>(std::floor(x0)));
                    const int py0 = std::max(0, static_cast<int>(std::floor(y0)));
                    const int px1 = std::min(image.width - 1, static_cast<int>(std::ceil(x1)));
                    const int py1 = std::min(image.height - 1, static_cast<int>(std::ceil(y1)));
                    for (int py = py0; py <= py1; ++py) {
                        for (int px = px0; px <= px1; ++px) {
                            const Vec2 ab = inverse.apply({px + 0.5, py + 0.5});
                            if (!(ab.x >= 0.0 && ab.x < 1.0 && ab.y >= 0.0 && ab.y < 1.0)) {
                                continue;
                            }
                            shade(px, py, (c + ab.x) / cols, (r + ab.y) / rows);
                        }
                    }
                }
            }
        }
        out.push_back(std::move(image));
    }
    return out;
}

} // namespace prismeta::rig
