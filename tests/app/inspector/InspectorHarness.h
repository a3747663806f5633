#pragma once

#include "app/ModelAdapter.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorView.h"
#include "core/ProjectModel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Dialogs that answer from scripts and count what was asked. An empty
// script answers "cancel".
class ScriptedInspectorDialogs final : public prismeta::InspectorDialogs {
public:
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<QColor> colorsOffered; // the dialog's starting colours
    std::vector<prismeta::MediaFileType> filesAsked;
    std::deque<std::optional<prismeta::LiveSourceChoice>> liveAnswers;
    std::vector<prismeta::LiveSourceChoice> liveOffered; // the dialog's starting source

    std::optional<QColor> chooseColor(const QColor& initial) override {
        colorsOffered.push_back(initial);
        return next(colorAnswers);
    }
    std::optional<std::string> chooseFile(prismeta::MediaFileType type) override {
        filesAsked.push_back(type);
        return next(fileAnswers);
    }
    std::optional<prismeta::LiveSourceChoice>
    chooseLiveSource(const prismeta::LiveSourceChoice& current) override {
        liveOffered.push_back(current);
        return next(liveAnswers);
    }

private:
    template <typename T> static std::optional<T> next(std::deque<std::optional<T>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A model, its adapter and an inspector over them, shown in a window of its
// own, with scripted dialogs and a record of the output windows asked for.
struct InspectorHarness {
    prismeta::ProjectModel model;
    prismeta::ModelAdapter adapter{model};
    ScriptedInspectorDialogs* dialogs = nullptr;
    std::vector<prismeta::Uuid> openedOutputs;
    std::unique_ptr<prismeta::InspectorView> view;

    InspectorHarness() {
        auto scripted = std::make_unique<ScriptedInspectorDialogs>();
        dialogs = scripted.get();
        view = std::make_unique<prismeta::InspectorView>(
            adapter, [this](const prismeta::Uuid& id) { openedOutputs.push_back(id); },
            std::move(scripted));
        view->resize(prismeta::InspectorView::minimumPanelWidth, 900);
        view->show();
    }

    // Delivers the model's pending notifications to the panel.
    void settle() { adapter.flush(); }

    std::size_t undoDepth() const { return model.undoStack().size(); }
    std::size_t redoDepth() const { return model.redoStack().size(); }

    const prismeta::Surface& selected() const { return model.surfaces()[*model.selectedIndex()]; }
};

// A double click as the window system delivers it: press, release, then the
// double-click event (QTest::mouseDClick sends no second press to widgets).
inline void doubleClick(QWidget* widget, QPoint pos) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QMouseEvent event(QEvent::MouseButtonDblClick, pos, widget->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

// Types into a field as the user does: focus, replace the text, Return.
inline void typeAndCommit(QLineEdit* field, const QString& text) {
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(field, Qt::Key_Delete);
    } else {
        QTest::keyClicks(field, text);
    }
    QTest::keyClick(field, Qt::Key_Return);
}

// Flips a check box or a checkable button the way assistive technology does:
// the Toggle action of its accessible interface. False when it offers none.
inline bool toggleThroughAccessibility(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QAccessibleActionInterface* actions = accessible ? accessible->actionInterface() : nullptr;
    const QString toggle = QAccessibleActionInterface::toggleAction();
    if (actions == nullptr || !actions->actionNames().contains(toggle)) {
        return false;
    }
    actions->doAction(toggle);
    return true;
}

// Counts the model's announcements of one field.
struct ChangeCounter {
    int count = 0;
    prismeta::Subscription subscription;

    ChangeCounter(prismeta::ProjectModel& model, prismeta::ModelField field)
        : subscription(model.subscribe([this, field](prismeta::ModelField changed) {
              if (changed == field) {
                  ++count;
              }
          })) {}
};
