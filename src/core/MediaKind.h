#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace prismeta {

// What a surface shows. The order of the cases is the order of every picker.
// A shader surface shows an ISF generator or effect (mediaPath names its .fs);
// a live surface shows a camera, a capture card or a network stream
// (mediaPath names the device or URL, see LiveSource.h).
enum class MediaKind { color = 0, testPattern = 1, image = 2, video = 3, shader = 4, live = 5 };

inline constexpr std::array<MediaKind, 6> allMediaKinds = {
    MediaKind::color, MediaKind::testPattern, MediaKind::image,
    MediaKind::video, MediaKind::shader,      MediaKind::live};

// The text form used in project files and media signatures ("testPattern").
std::string_view mediaKindText(MediaKind kind);

// The label shown to the user ("Test Pattern").
std::string_view mediaKindLabel(MediaKind kind);

// Exact, case-sensitive match against the text forms.
std::optional<MediaKind> mediaKindFromText(std::string_view text);

} // namespace prismeta
