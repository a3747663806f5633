#pragma once

#include "app/document/FileDialogs.h"
#include "core/LiveSource.h"

#include <QColor>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>

class QWidget;

namespace prismeta {

class ProjectModel;

// The kinds of file the inspector asks for.
// stillOrVideo: what a shader's image input takes.
enum class MediaFileType { image, video, shader, stillOrVideo };

// A live surface's source as the user chose it: a capture device's path or
// a stream's URL (or an .sdp file), with the options that go with it.
struct LiveSourceChoice {
    std::string source;
    LiveOptions options;
    friend bool operator==(const LiveSourceChoice&, const LiveSourceChoice&) = default;
};

// Every dialog the inspector opens goes through this one seam, so tests
// replace the modal dialogs with scripted answers.
//
// Interface thread only. Owned by the inspector.
class InspectorDialogs {
public:
    virtual ~InspectorDialogs() = default;

    // A colour (alpha included) starting from `initial`; none when cancelled.
    virtual std::optional<QColor> chooseColor(const QColor& initial) = 0;
    // One existing file of the type, as an absolute file-system path in the
    // locale's file name encoding; none when cancelled.
    virtual std::optional<std::string> chooseFile(MediaFileType type) = 0;
    // A live source, starting from the surface's own (empty when it has
    // none); none when cancelled (and where no such dialog is offered).
    virtual std::optional<LiveSourceChoice> chooseLiveSource(const LiveSourceChoice& current) {
        (void)current;
        return std::nullopt;
    }
};

// The modal Qt dialogs, parented to the given widget's window. File
// dialogs start in the folder last used for media, else the project's.
class WidgetInspectorDialogs final : public InspectorDialogs {
public:
    WidgetInspectorDialogs(QWidget* parent, const ProjectModel& model)
        : parent_(parent), model_(model) {}

    std::optional<QColor> chooseColor(const QColor& initial) override;
    std::optional<std::string> chooseFile(MediaFileType type) override;
    std::optional<LiveSourceChoice> chooseLiveSource(const LiveSourceChoice& current) override;

private:
    QWidget* parent_;
    const ProjectModel& model_;
};

// The file name extensions (lower case, no dot) of the images and videos the
// media decoder reads, and of ISF shaders.
QStringList mediaFileExtensions(MediaFileType type);

// The folder of the shaders that come with the program; empty when it has none.
QString bundledShaderFolder();

// The dialog's type menu entry: "Images (*.png *.jpg …)", matched in any
// letter case.
FileTypeFilter mediaFileFilter(MediaFileType type);

// The file dialog's request, kept apart so it can be checked without showing
// it: one existing file of the type, starting in the folder last used for
// media, else the project's folder, else home.
FileDialogRequest mediaFileRequest(MediaFileType type,
                                   const std::optional<std::filesystem::path>& project);

} // namespace prismeta
