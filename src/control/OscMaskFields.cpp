#include "control/OscMaskFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace prismeta {

namespace {

std::optional<bool> flag(const OscArguments& arguments) {
    if (arguments.size() != 1) {
        return std::nullopt;
    }
    const OscArgument& argument = arguments.front();
    if (argument.tag == 'T' || argument.tag == 'F') {
        return argument.tag == 'T';
    }
    if (argument.tag == 'i') {
        return *argument.number() != 0.0;
    }
    return std::nullopt;
}

std::string takes(std::string_view tags, const OscArguments& arguments) {
    return "takes " + std::string(tags) + ", got " +
           (arguments.empty() ? std::string("no arguments") : typeTags(arguments));
}

OscArguments pointArguments(const MaskPoint& p) {
    return {OscArgument::float32(p.x), OscArgument::float32(p.y)};
}

bool isPointKind(MaskField::Kind kind) {
    return kind == MaskField::Kind::point || kind == MaskField::Kind::pointIn ||
           kind == MaskField::Kind::pointOut;
}

// A handle as queries and feedback give it: a missing one stands for the point.
OscArguments handleArguments(const MaskPoint& p, const std::optional<Pt>& handle) {
    if (!handle) {
        return pointArguments(p);
    }
    return {OscArgument::float32(handle->x), OscArgument::float32(handle->y)};
}

} // namespace

std::string MaskField::path() const {
    std::string text = "mask/" + std::to_string(mask) + "/";
    switch (kind) {
    case Kind::enabled:
        return text + "enabled";
    case Kind::invert:
        return text + "invert";
    case Kind::feather:
        return text + "feather";
    case Kind::point:
        return text + "point/" + std::to_string(point);
    case Kind::pointIn:
        return text + "point/" + std::to_string(point) + "/in";
    case Kind::pointOut:
        return text + "point/" + std::to_string(point) + "/out";
    }
    return text;
}

bool isMaskAddress(std::span<const std::string_view> parts) {
    return !parts.empty() && parts.front() == "mask";
}

Result<MaskField> parseMaskField(std::span<const std::string_view> parts) {
    if (parts.size() < 3 || parts[0] != "mask") {
        return Result<MaskField>::failure("no such field");
    }
    const std::optional<std::size_t> mask = addressIndex(parts[1]);
    if (!mask) {
        return Result<MaskField>::failure("a mask is addressed by its number, from 0");
    }
    MaskField field;
    field.mask = *mask;
    if (parts.size() == 3 && parts[2] == "enabled") {
        field.kind = MaskField::Kind::enabled;
    } else if (parts.size() == 3 && parts[2] == "invert") {
        field.kind = MaskField::Kind::invert;
    } else if (parts.size() == 3 && parts[2] == "feather") {
        field.kind = MaskField::Kind::feather;
    } else if ((parts.size() == 4 || parts.size() == 5) && parts[2] == "point") {
        const std::optional<std::size_t> point = addressIndex(parts[3]);
        if (!point) {
            return Result<MaskField>::failure("a point is addressed by its number, from 0");
        }
        field.point = *point;
        if (parts.size() == 4) {
            field.kind = MaskField::Kind::point;
        } else if (parts[4] == "in") {
            field.kind = MaskField::Kind::pointIn;
        } else if (parts[4] == "out") {
            field.kind = MaskField::Kind::pointOut;
        } else {
            return Result<MaskField>::failure("no such field");
        }
    } else {
        return Result<MaskField>::failure("no such field");
    }
    return field;
}

Status writeMaskField(std::vector<Mask>& masks, const MaskField& field,
                      const OscArguments& arguments) {
    // The arguments first, so a wrong message is named as such everywhere.
    std::optional<bool> on;
    double numbers[2] = {0.0, 0.0};
    switch (field.kind) {
    case MaskField::Kind::enabled:
    case MaskField::Kind::invert:
        on = flag(arguments);
        if (!on) {
            return Status::failure(takes("i (0 or 1), T or F", arguments));
        }
        break;
    case MaskField::Kind::feather:
    case MaskField::Kind::point:
    case MaskField::Kind::pointIn:
    case MaskField::Kind::pointOut: {
        const std::size_t count = isPointKind(field.kind) ? 2 : 1;
        const std::string_view tags = count == 2 ? "ff" : "f";
        if (arguments.size() != count) {
            return Status::failure(takes(tags, arguments));
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::optional<double> number = arguments[i].number();
            if (!number) {
                return Status::failure(takes(tags, arguments));
            }
            if (!(std::fabs(*number) < oscFloatOverflow)) {
                return Status::failure(std::isfinite(*number) ? "beyond the range of a 32-bit float"
                                                              : "not a finite number");
            }
            numbers[i] = *number;
        }
        break;
    }
    }
    if (field.mask >= masks.size()) {
        return Status::failure("no mask " + std::to_string(field.mask));
    }
    Mask& mask = masks[field.mask];
    switch (field.kind) {
    case MaskField::Kind::enabled:
        mask.enabled = *on;
        break;
    case MaskField::Kind::invert:
        mask.invert = *on;
        break;
    case MaskField::Kind::feather:
        mask.feather = maskFeatherInRange(
            static_cast<float>(std::clamp(numbers[0], 0.0, static_cast<double>(Mask::maxFeather))));
        break;
    case MaskField::Kind::point:
    case MaskField::Kind::pointIn:
    case MaskField::Kind::pointOut: {
        if (field.point >= mask.points.size()) {
            return Status::failure("mask " + std::to_string(field.mask) + " has no point " +
                                   std::to_string(field.point));
        }
        if (field.kind != MaskField::Kind::point) {
            MaskPoint& p = mask.points[field.point];
            const Pt handle{static_cast<float>(std::clamp(numbers[0], -3.4e38, 3.4e38)),
                            static_cast<float>(std::clamp(numbers[1], -3.4e38, 3.4e38))};
            (field.kind == MaskField::Kind::pointIn ? p.in : p.out) = handle;
            break;
        }
        // Handles move with their point, so the curve keeps its shape.
        MaskPoint& p = mask.points[field.point];
        const float x = static_cast<float>(std::clamp(numbers[0], -3.4e38, 3.4e38));
        const float y = static_cast<float>(std::clamp(numbers[1], -3.4e38, 3.4e38));
        const float dx = x - p.x;
        const float dy = y - p.y;
        for (std::optional<Pt>* handle : {&p.in, &p.out}) {
            if (*handle && std::isfinite((*handle)->x + dx) && std::isfinite((*handle)->y + dy)) {
                **handle = Pt{(*handle)->x + dx, (*handle)->y + dy};
            }
        }
        p.x = x;
        p.y = y;
        break;
    }
    }
    return Status::success();
}

OscArguments readMaskField(const std::vector<Mask>& masks, const MaskField& field) {
    if (field.mask >= masks.size()) {
        return {};
    }
    const Mask& mask = masks[field.mask];
    switch (field.kind) {
    case MaskField::Kind::enabled:
        return {OscArgument::int32(mask.enabled ? 1 : 0)};
    case MaskField::Kind::invert:
        return {OscArgument::int32(mask.invert ? 1 : 0)};
    case MaskField::Kind::feather:
        return {OscArgument::float32(mask.feather)};
    case MaskField::Kind::point:
    case MaskField::Kind::pointIn:
    case MaskField::Kind::pointOut: {
        if (field.point >= mask.points.size()) {
            return {};
        }
        const MaskPoint& p = mask.points[field.point];
        if (field.kind == MaskField::Kind::point) {
            return pointArguments(p);
        }
        return handleArguments(p, field.kind == MaskField::Kind::pointIn ? p.in : p.out);
    }
    }
    return {};
}

void forEachChangedMaskField(const std::vector<Mask>& before, const std::vector<Mask>& after,
                             const std::function<void(const MaskField&, OscArguments)>& each) {
    for (std::size_t n = 0; n < after.size(); ++n) {
        const Mask* old = n < before.size() ? &before[n] : nullptr;
        const Mask& now = after[n];
        if (old != nullptr && *old == now) {
            continue;
        }
        for (MaskField::Kind kind :
             {MaskField::Kind::enabled, MaskField::Kind::invert, MaskField::Kind::feather}) {
            const MaskField field{n, kind, 0};
            OscArguments value = readMaskField(after, field);
            if (old == nullptr || readMaskField(before, field) != value) {
                each(field, std::move(value));
            }
        }
        for (std::size_t k = 0; k < now.points.size(); ++k) {
            const MaskPoint* was =
                old != nullptr && k < old->points.size() ? &old->points[k] : nullptr;
            const MaskPoint& is = now.points[k];
            if (was == nullptr || was->x != is.x || was->y != is.y) {
                each(MaskField{n, MaskField::Kind::point, k}, pointArguments(is));
            }
            // Handles as they are answered, so a handle that appears where its
            // point was (or goes away) says nothing new.
            OscArguments in = handleArguments(is, is.in);
            if (was == nullptr || handleArguments(*was, was->in) != in) {
                each(MaskField{n, MaskField::Kind::pointIn, k}, std::move(in));
            }
            OscArguments out = handleArguments(is, is.out);
            if (was == nullptr || handleArguments(*was, was->out) != out) {
                each(MaskField{n, MaskField::Kind::pointOut, k}, std::move(out));
            }
        }
    }
}

} // namespace prismeta
