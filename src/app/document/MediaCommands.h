#pragma once

namespace prismeta {

class DocumentDialogs;
class ProjectModel;

// The media commands of the File menu. "Relink Missing Media…" reviews the
// files the project is missing through the dialogs and replaces the paths the
// user accepts (the surfaces' in one undo step). "Collect Project…" copies the
// project and its media into a folder the user picks, on a thread of its own
// behind a progress dialog, asks before replacing any file and reports what
// could not be copied; the project on screen is not changed. Both ask only
// when the user invokes them.
//
// Interface thread only. Borrows the model and the dialogs.
class MediaCommands {
public:
    MediaCommands(ProjectModel& model, DocumentDialogs& dialogs);

    // True when paths were replaced.
    bool relinkMissingMedia();
    // True when the project file of the copy was written.
    bool collectProject();

private:
    ProjectModel& model_;
    DocumentDialogs& dialogs_;
};

} // namespace prismeta
