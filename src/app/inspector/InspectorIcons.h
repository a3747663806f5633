#pragma once

#include "core/LiveSource.h"
#include "core/MediaKind.h"

#include <QIcon>
#include <QString>

namespace prismeta {

enum class InspectorIcon {
    add,       // add a surface, add an output
    duplicate, // duplicate the selected surface
    trash,     // delete the selected surface
    colorKind, // list row of a solid-colour surface
    testPatternKind,
    shaderKind, // a generated picture (an ISF shader)
    imageKind,  // also the reference image button
    videoKind,
    liveKind,    // a camera, a capture card or a network stream
    folder,      // the media file rows
    noSelection, // the empty state
    resetCorners,
    openOutput, // an output card's window button
    deleteOutput,
};

// The inspector's icons, found the way the application's commands find
// theirs: the desktop theme's icon of the same meaning where the theme has
// one, else the project's own SVG built into the binary.
// Interface thread only.
QIcon inspectorIcon(InspectorIcon icon);

// The icon of a surface list row for the media kind.
QIcon mediaKindIcon(MediaKind kind);
// A live surface's row icon: with a small amber dot while its source is
// waiting, a red one once it is lost, none while pictures come.
QIcon liveKindIcon(LiveStatus::State state);

// The theme name looked up first (empty where no standard name means the
// same), and the resource path of the fallback.
QString inspectorIconThemeName(InspectorIcon icon);
QString inspectorIconResource(InspectorIcon icon);

} // namespace prismeta
