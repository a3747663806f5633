#pragma once

#include <QColor>
#include <QStringList>

#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace prismeta {

// The kinds of file the inspector asks for.
enum class MediaFileType { image, video };

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
};

// The modal Qt dialogs, parented to the given widget's window.
class WidgetInspectorDialogs final : public InspectorDialogs {
public:
    explicit WidgetInspectorDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<QColor> chooseColor(const QColor& initial) override;
    std::optional<std::string> chooseFile(MediaFileType type) override;

private:
    QWidget* parent_;
};

// The file name extensions (lower case, no dot) of the images and videos the
// media decoder reads.
QStringList mediaFileExtensions(MediaFileType type);

// The dialog's name filter: every extension in either letter case.
QString mediaNameFilter(MediaFileType type);

// The file dialog's settings, kept apart so they can be checked without
// showing it: one existing file of the type, no folders.
void configureMediaDialog(QFileDialog& dialog, MediaFileType type);

} // namespace prismeta
