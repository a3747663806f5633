#include "cues/Crossfade.h"
#include "cues/TrackedLook.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

double fadeProgress(double start, double length, double now) {
    if (!(length > 0.0)) {
        return now < start ? 0.0 : 1.0;
    }
    const double p = (now - start) / length;
    return std::isnan(p) ? 1.0 : std::clamp(p, 0.0, 1.0);
}

const FadingLook* Crossfade::find(const Surface& drawn, double now) const {
    if (entries_.empty()) {
        return nullptr;
    }
    const auto found = entries_.find(drawn.id);
    if (found == entries_.end() || !sameLook(found->second.to, drawn) ||
        found->second.progress(now) >= 1.0) {
        return nullptr;
    }
    return &found->second;
}

namespace {

bool sameMedia(const Surface& a, const Surface& b) {
    return a.mediaKind == b.mediaKind && a.mediaPath == b.mediaPath;
}

// The straight colour and opacity of (1 - p) * from + p * to, premultiplied.
void mixColor(Surface& into, const Surface& from, const Surface& to, double p) {
    const double fromAlpha = from.color.a * from.opacity;
    const double toAlpha = to.color.a * to.opacity;
    const double alpha = (1.0 - p) * fromAlpha + p * toAlpha;
    const auto channel = [&](float a, float b) {
        const double premultiplied = (1.0 - p) * a * fromAlpha + p * b * toAlpha;
        return alpha > 0.0 ? static_cast<float>(premultiplied / alpha) : b;
    };
    into.color = RGBA{channel(from.color.r, to.color.r), channel(from.color.g, to.color.g),
                      channel(from.color.b, to.color.b), 1.0f};
    into.opacity = alpha;
}

// The stored values part way from one set to another, without the shader's
// declarations (onScreen serves a GO during a fade, not the renderer, which
// mixes by the declared types): numbers of the same shape mix linearly, the
// rest switch at the middle, as does a value one side leaves at its default.
ShaderInputs mixedInputs(const ShaderInputs& from, const ShaderInputs& to, double p) {
    const ShaderInputs& nearer = p < 0.5 ? from : to;
    ShaderInputs mixed;
    for (const auto& [name, value] : nearer) {
        const auto a = from.find(name);
        const auto b = to.find(name);
        if (a == from.end() || b == to.end() || a->second.kind != b->second.kind ||
            a->second.count != b->second.count ||
            (a->second.kind != ShaderInputValue::Kind::number &&
             a->second.kind != ShaderInputValue::Kind::numbers)) {
            mixed.emplace(name, value);
            continue;
        }
        ShaderInputValue between = b->second;
        for (std::size_t i = 0; i < between.numbers.size(); ++i) {
            between.numbers[i] = (1.0 - p) * a->second.numbers[i] + p * b->second.numbers[i];
        }
        mixed.emplace(name, between);
    }
    return mixed;
}

} // namespace

Surface Crossfade::onScreen(const Surface& drawn, double now) const {
    const FadingLook* fading = find(drawn, now);
    if (fading == nullptr) {
        return drawn;
    }
    const double p = fading->progress(now);
    Surface shown = drawn;
    if (sameMedia(fading->from, fading->to)) {
        if (drawn.mediaKind == MediaKind::color) {
            mixColor(shown, fading->from, fading->to, p);
        } else {
            if (fading->from.shaderInputs != fading->to.shaderInputs) {
                shown.shaderInputs =
                    mixedInputs(fading->from.shaderInputs, fading->to.shaderInputs, p);
            }
            shown.opacity = (1.0 - p) * fading->from.opacity + p * fading->to.opacity;
        }
        return shown;
    }
    const Surface& larger = p < 0.5 ? fading->from : fading->to;
    shown.mediaKind = larger.mediaKind;
    shown.mediaPath = larger.mediaPath;
    shown.color = larger.color;
    shown.shaderInputs = larger.shaderInputs;
    shown.opacity = (1.0 - p) * fading->from.opacity + p * fading->to.opacity;
    return shown;
}

std::shared_ptr<const Crossfade> Crossfade::start(const Crossfade* running,
                                                  const std::vector<Surface>& before,
                                                  const std::vector<Surface>& after, double now,
                                                  double length, bool holdCut) {
    auto fade = std::make_shared<Crossfade>();
    std::unordered_map<Uuid, const Surface*> old;
    old.reserve(before.size());
    for (const Surface& surface : before) {
        old.emplace(surface.id, &surface);
    }
    for (const Surface& surface : after) {
        const auto found = old.find(surface.id);
        if (found == old.end()) {
            continue;
        }
        const Surface& was = *found->second;
        const bool changes = !sameLook(was, surface);
        if (changes && (length > 0.0 || holdCut)) {
            Surface from = running ? running->onScreen(was, now) : was;
            fade->entries_.insert_or_assign(surface.id,
                                            FadingLook{std::move(from), surface, now, length});
            fade->end_ = std::max(fade->end_, now + length);
        } else if (!changes && running) {
            if (const FadingLook* going = running->find(surface, now)) {
                fade->entries_.insert_or_assign(surface.id, *going);
                fade->end_ = std::max(fade->end_, going->start + going->length);
            }
        }
    }
    return fade;
}

} // namespace prismeta
