#include "app/inspector/InspectorDialogs.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace prismeta {

namespace {

// "png" -> "*.[pP][nN][gG]": dialogs compare names case-sensitively here.
QString anyCasePattern(const QString& extension) {
    QString pattern = QStringLiteral("*.");
    for (const QChar c : extension) {
        if (c.isLetter()) {
            pattern += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        } else {
            pattern += c;
        }
    }
    return pattern;
}

} // namespace

QStringList mediaFileExtensions(MediaFileType type) {
    switch (type) {
    case MediaFileType::image:
        return {QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                QStringLiteral("bmp"),  QStringLiteral("gif"),  QStringLiteral("tif"),
                QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("tga")};
    case MediaFileType::video:
        return {QStringLiteral("mp4"), QStringLiteral("m4v"),  QStringLiteral("mov"),
                QStringLiteral("mkv"), QStringLiteral("webm"), QStringLiteral("avi")};
    }
    return {};
}

QString mediaNameFilter(MediaFileType type) {
    QStringList patterns;
    for (const QString& extension : mediaFileExtensions(type)) {
        patterns << anyCasePattern(extension);
    }
    const QString title =
        type == MediaFileType::image ? QObject::tr("Images") : QObject::tr("Movies");
    return title + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void configureMediaDialog(QFileDialog& dialog, MediaFileType type) {
    dialog.setWindowTitle(type == MediaFileType::image ? QObject::tr("Choose Image")
                                                       : QObject::tr("Choose Video"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(mediaNameFilter(type));
}

std::optional<QColor> WidgetInspectorDialogs::chooseColor(const QColor& initial) {
    const QColor color = QColorDialog::getColor(initial, parent_, QObject::tr("Color"),
                                                QColorDialog::ShowAlphaChannel);
    if (!color.isValid()) {
        return std::nullopt; // cancelled
    }
    return color;
}

std::optional<std::string> WidgetInspectorDialogs::chooseFile(MediaFileType type) {
    QFileDialog dialog(parent_);
    configureMediaDialog(dialog, type);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(QFileInfo(files.front()).absoluteFilePath()).toStdString();
}

} // namespace prismeta
