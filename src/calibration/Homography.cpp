#include "calibration/CalibrationTypes.h"

#include <cmath>

namespace prismeta::calibration {

Homography Homography::inverse() const {
    const auto& a = m;
    Homography r;
    r.m = {a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
           a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
           a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
    // The adjugate is the inverse up to scale; keep the scale positive.
    const double det = a[0] * r.m[0] + a[1] * r.m[3] + a[2] * r.m[6];
    if (det != 0.0) {
        for (double& v : r.m) {
            v /= det;
        }
    }
    return r;
}

Homography Homography::then(const Homography& next) const {
    Homography r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += next.m[i * 3 + k] * m[k * 3 + j];
            }
            r.m[i * 3 + j] = sum;
        }
    }
    return r;
}

bool Homography::fromUnitSquare(const std::array<Vec2, 4>& q, Homography& out) {
    // The square-to-quad map in closed form.
    const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
    const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
    const double dx1 = q[1].x - q[2].x;
    const double dx2 = q[3].x - q[2].x;
    const double dy1 = q[1].y - q[2].y;
    const double dy2 = q[3].y - q[2].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    double g = 0.0;
    double h = 0.0;
    if (sx != 0.0 || sy != 0.0) {
        if (std::fabs(det) < 1e-300) {
            return false;
        }
        g = (sx * dy2 - dx2 * sy) / det;
        h = (dx1 * sy - sx * dy1) / det;
    }
    out.m = {q[1].x - q[0].x + g * q[1].x,
             q[3].x - q[0].x + h * q[3].x,
             q[0].x,
             q[1].y - q[0].y + g * q[1].y,
             q[3].y - q[0].y + h * q[3].y,
             q[0].y,
             g,
             h,
             1.0};
    const double d = out.m[0] * (out.m[4] * out.m[8] - out.m[5] * out.m[7]) -
                     out.m[1] * (out.m[3] * out.m[8] - out.m[5] * out.m[6]) +
                     out.m[2] * (out.m[3] * out.m[7] - out.m[4] * out.m[6]);
    return std::isfinite(d) && std::fabs(d) > 1e-300;
}

} // namespace prismeta::calibration
