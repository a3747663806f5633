#include "app/Icons.h"

namespace prismeta {

QString appIconThemeName(AppIcon icon) {
    switch (icon) {
    case AppIcon::addSurface:
        return QStringLiteral("list-add");
    case AppIcon::output:
        return QStringLiteral("video-display");
    case AppIcon::open:
        return QStringLiteral("document-open");
    case AppIcon::save:
        return QStringLiteral("document-save");
    case AppIcon::application:
        return QStringLiteral("prismeta");
    }
    return {};
}

QString appIconResource(AppIcon icon) {
    switch (icon) {
    case AppIcon::addSurface:
        return QStringLiteral(":/prismeta/icons/actions/add-surface.svg");
    case AppIcon::output:
        return QStringLiteral(":/prismeta/icons/actions/output.svg");
    case AppIcon::open:
        return QStringLiteral(":/prismeta/icons/actions/open.svg");
    case AppIcon::save:
        return QStringLiteral(":/prismeta/icons/actions/save.svg");
    case AppIcon::application:
        return QStringLiteral(":/prismeta/icons/hicolor/scalable/apps/prismeta.svg");
    }
    return {};
}

QIcon appIcon(AppIcon icon) {
    const QIcon fallback(appIconResource(icon));
    if (icon == AppIcon::application) {
        // Our own artwork: an installed copy in the theme is the same picture.
        return fallback;
    }
    return QIcon::fromTheme(appIconThemeName(icon), fallback);
}

} // namespace prismeta
