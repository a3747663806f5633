#include "app/inspector/InspectorIcons.h"

#include "app/Icons.h"

namespace prismeta {

QString inspectorIconThemeName(InspectorIcon icon) {
    switch (icon) {
    case InspectorIcon::add:
        return QStringLiteral("list-add");
    case InspectorIcon::duplicate:
        return QStringLiteral("edit-copy");
    case InspectorIcon::trash:
        return QStringLiteral("edit-delete");
    case InspectorIcon::imageKind:
        return QStringLiteral("image-x-generic");
    case InspectorIcon::videoKind:
        return QStringLiteral("video-x-generic");
    case InspectorIcon::folder:
        return QStringLiteral("folder");
    case InspectorIcon::openOutput:
        return appIconThemeName(AppIcon::output);
    case InspectorIcon::deleteOutput:
        return QStringLiteral("window-close");
    case InspectorIcon::colorKind:
    case InspectorIcon::testPatternKind:
    case InspectorIcon::noSelection:
    case InspectorIcon::resetCorners:
        return {};
    }
    return {};
}

QString inspectorIconResource(InspectorIcon icon) {
    switch (icon) {
    case InspectorIcon::add:
        return QStringLiteral(":/prismeta/icons/actions/plus.svg");
    case InspectorIcon::duplicate:
        return QStringLiteral(":/prismeta/icons/actions/duplicate.svg");
    case InspectorIcon::trash:
        return QStringLiteral(":/prismeta/icons/actions/trash.svg");
    case InspectorIcon::colorKind:
        return QStringLiteral(":/prismeta/icons/actions/palette.svg");
    case InspectorIcon::testPatternKind:
        return QStringLiteral(":/prismeta/icons/actions/grid.svg");
    case InspectorIcon::imageKind:
        return QStringLiteral(":/prismeta/icons/actions/photo.svg");
    case InspectorIcon::videoKind:
        return QStringLiteral(":/prismeta/icons/actions/film.svg");
    case InspectorIcon::folder:
        return QStringLiteral(":/prismeta/icons/actions/folder.svg");
    case InspectorIcon::noSelection:
        return QStringLiteral(":/prismeta/icons/actions/dashed-square.svg");
    case InspectorIcon::resetCorners:
        return QStringLiteral(":/prismeta/icons/actions/reset-corners.svg");
    case InspectorIcon::openOutput:
        return appIconResource(AppIcon::output);
    case InspectorIcon::deleteOutput:
        return QStringLiteral(":/prismeta/icons/actions/close-circle.svg");
    }
    return {};
}

QIcon inspectorIcon(InspectorIcon icon) {
    // The artwork as drawn also on a selected row (Qt would fade it into the
    // highlight).
    QIcon fallback;
    fallback.addFile(inspectorIconResource(icon), {}, QIcon::Normal);
    fallback.addFile(inspectorIconResource(icon), {}, QIcon::Selected);
    const QString themeName = inspectorIconThemeName(icon);
    return themeName.isEmpty() ? fallback : QIcon::fromTheme(themeName, fallback);
}

QIcon mediaKindIcon(MediaKind kind) {
    switch (kind) {
    case MediaKind::color:
        return inspectorIcon(InspectorIcon::colorKind);
    case MediaKind::testPattern:
        return inspectorIcon(InspectorIcon::testPatternKind);
    case MediaKind::image:
        return inspectorIcon(InspectorIcon::imageKind);
    case MediaKind::video:
        return inspectorIcon(InspectorIcon::videoKind);
    }
    return {};
}

} // namespace prismeta
