#include "app/inspector/InspectorDialogs.h"

#include "core/ProjectModel.h"

#include <QColorDialog>
#include <QFile>

namespace prismeta {

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

FileTypeFilter mediaFileFilter(MediaFileType type) {
    return {type == MediaFileType::image ? QObject::tr("Images") : QObject::tr("Movies"),
            mediaFileExtensions(type)};
}

FileDialogRequest mediaFileRequest(MediaFileType type,
                                   const std::optional<std::filesystem::path>& project) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::openFile;
    request.title =
        type == MediaFileType::image ? QObject::tr("Choose Image") : QObject::tr("Choose Video");
    request.filters = {mediaFileFilter(type)};
    request.purpose = QStringLiteral("media");
    request.folder = startFolder(request.purpose, project);
    return request;
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
    const std::optional<QString> chosen =
        runFileDialog(parent_, mediaFileRequest(type, model_.documentURL()));
    if (!chosen) {
        return std::nullopt;
    }
    return QFile::encodeName(*chosen).toStdString();
}

} // namespace prismeta
