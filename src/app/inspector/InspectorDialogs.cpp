#include "app/inspector/InspectorDialogs.h"

#include "app/inspector/LiveSourceDialog.h"
#include "core/ProjectModel.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
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
    case MediaFileType::shader:
        return {QStringLiteral("fs")};
    case MediaFileType::stillOrVideo:
        return mediaFileExtensions(MediaFileType::image) +
               mediaFileExtensions(MediaFileType::video);
    }
    return {};
}

QString bundledShaderFolder() {
    // Installed beside the program (bin/../share/prismeta/shaders), or in
    // the source tree of a build that was not installed.
    const QDir installed(QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../share/prismeta/shaders"));
    if (installed.exists()) {
        return installed.absolutePath();
    }
    const QDir source(QStringLiteral(PRISMETA_SOURCE_SHADERS));
    return source.exists() ? source.absolutePath() : QString();
}

FileTypeFilter mediaFileFilter(MediaFileType type) {
    const QString name = type == MediaFileType::image          ? QObject::tr("Images")
                         : type == MediaFileType::video        ? QObject::tr("Movies")
                         : type == MediaFileType::stillOrVideo ? QObject::tr("Images and Movies")
                                                               : QObject::tr("ISF Shaders");
    return {name, mediaFileExtensions(type)};
}

FileDialogRequest mediaFileRequest(MediaFileType type,
                                   const std::optional<std::filesystem::path>& project) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::openFile;
    request.title = type == MediaFileType::image          ? QObject::tr("Choose Image")
                    : type == MediaFileType::video        ? QObject::tr("Choose Video")
                    : type == MediaFileType::stillOrVideo ? QObject::tr("Choose Image or Video")
                                                          : QObject::tr("Choose Shader");
    request.filters = {mediaFileFilter(type)};
    request.purpose = QStringLiteral("media");
    request.folder = startFolder(request.purpose, project);
    if (type == MediaFileType::shader) {
        // Shaders start among the bundled generators.
        request.purpose = QStringLiteral("shader");
        if (const QString bundled = bundledShaderFolder(); !bundled.isEmpty()) {
            request.folder = bundled;
        }
    }
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

std::optional<LiveSourceChoice>
WidgetInspectorDialogs::chooseLiveSource(const LiveSourceChoice& current) {
    LiveSourceDialog dialog(current, findCaptureDevices, parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.choice();
}

} // namespace prismeta
