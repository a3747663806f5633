#include "app/inspector/InspectorIcons.h"

#include "app/Icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPixmap>

#include <algorithm>
#include <utility>

namespace prismeta {

namespace {

// A one-colour icon that, drawn for a selected row, takes the colour of the
// highlighted text instead of keeping its own grey on the highlight (and
// instead of the tint Qt would blend it with).
class SelectionTintEngine final : public QIconEngine {
public:
    explicit SelectionTintEngine(QIcon artwork) : artwork_(std::move(artwork)) {}

    QIconEngine* clone() const override { return new SelectionTintEngine(artwork_); }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return artwork_.actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return artwork_.availableSizes(mode, state);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        if (mode != QIcon::Selected) {
            return artwork_.pixmap(size, scale, mode, state);
        }
        QPixmap tinted = artwork_.pixmap(size, scale, QIcon::Normal, state);
        QPainter painter(&tinted);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(
            QRect(QPoint(0, 0), tinted.size()),
            QGuiApplication::palette().color(QPalette::Active, QPalette::HighlightedText));
        return tinted;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

private:
    QIcon artwork_;
};

// An icon with a small dot of one colour at its bottom-right corner, the
// same on a selected row.
class BadgeEngine final : public QIconEngine {
public:
    BadgeEngine(QIcon artwork, QColor badge) : artwork_(std::move(artwork)), badge_(badge) {}

    QIconEngine* clone() const override { return new BadgeEngine(artwork_, badge_); }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return artwork_.actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return artwork_.availableSizes(mode, state);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap marked = artwork_.pixmap(size, scale, mode, state);
        QPainter painter(&marked);
        painter.setRenderHint(QPainter::Antialiasing);
        const QSizeF logical = marked.deviceIndependentSize();
        const qreal diameter = std::max(4.0, std::min(logical.width(), logical.height()) * 0.42);
        const QRectF dot(logical.width() - diameter, logical.height() - diameter, diameter,
                         diameter);
        // A ring of the background keeps the dot apart from the artwork.
        painter.setPen(QPen(QGuiApplication::palette().color(QPalette::Base), diameter * 0.18));
        painter.setBrush(badge_);
        painter.drawEllipse(
            dot.adjusted(diameter * 0.09, diameter * 0.09, -diameter * 0.09, -diameter * 0.09));
        return marked;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

private:
    QIcon artwork_;
    QColor badge_;
};

} // namespace

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
    case InspectorIcon::liveKind:
        return QStringLiteral("camera-video");
    case InspectorIcon::shaderKind:
        return QStringLiteral("text-x-script"); // a shader is a program's text
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
    case InspectorIcon::shaderKind:
        return QStringLiteral(":/prismeta/icons/actions/shader.svg");
    case InspectorIcon::imageKind:
        return QStringLiteral(":/prismeta/icons/actions/photo.svg");
    case InspectorIcon::videoKind:
        return QStringLiteral(":/prismeta/icons/actions/film.svg");
    case InspectorIcon::liveKind:
        return QStringLiteral(":/prismeta/icons/actions/live.svg");
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
    InspectorIcon icon = InspectorIcon::colorKind;
    switch (kind) {
    case MediaKind::color:
        icon = InspectorIcon::colorKind;
        break;
    case MediaKind::testPattern:
        icon = InspectorIcon::testPatternKind;
        break;
    case MediaKind::image:
        icon = InspectorIcon::imageKind;
        break;
    case MediaKind::video:
        icon = InspectorIcon::videoKind;
        break;
    case MediaKind::shader:
        icon = InspectorIcon::shaderKind;
        break;
    case MediaKind::live:
        icon = InspectorIcon::liveKind;
        break;
    }
    // The project's own one-colour artwork for every kind, so the row
    // icons match; on a selected row it takes the highlighted text's colour.
    return QIcon(new SelectionTintEngine(QIcon(inspectorIconResource(icon))));
}

QIcon liveKindIcon(LiveStatus::State state) {
    switch (state) {
    case LiveStatus::State::connected:
        break;
    case LiveStatus::State::waiting:
        return QIcon(new BadgeEngine(mediaKindIcon(MediaKind::live), QColor(0xe0, 0x9a, 0x1c)));
    case LiveStatus::State::lost:
        return QIcon(new BadgeEngine(mediaKindIcon(MediaKind::live), QColor(0xd9, 0x3a, 0x32)));
    }
    return mediaKindIcon(MediaKind::live);
}

} // namespace prismeta
