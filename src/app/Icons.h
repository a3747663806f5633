#pragma once

#include <QIcon>
#include <QString>

namespace prismeta {

enum class AppIcon { addSurface, output, open, save, application };

// The icon for a command: the desktop theme's icon of the same meaning when
// the theme has one, else the project's own SVG (built into the binary), so
// no button is ever blank on a bare system. Interface thread only.
QIcon appIcon(AppIcon icon);

// The theme name looked up first, and the resource path of the fallback.
QString appIconThemeName(AppIcon icon);
QString appIconResource(AppIcon icon);

} // namespace prismeta
