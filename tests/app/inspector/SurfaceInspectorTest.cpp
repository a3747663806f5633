// The surface half of the inspector: the list and its selection, inline
// rename, and every control of the selected surface, driven as a user would
// and checked against the model.

#include "InspectorHarness.h"

#include "app/inspector/ColorWell.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/InspectorView.h"
#include "app/inspector/ReferenceSection.h"
#include "app/inspector/SegmentedControl.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/inspector/Stepper.h"
#include "app/inspector/SurfaceListPanel.h"
#include "core/Log.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <functional>

using namespace prismeta;

namespace {

void clickRow(QListWidget* list, int row, bool twice = false) {
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    if (twice) {
        doubleClick(list->viewport(), centre);
    } else {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    }
}

// The first and last rows of an image that hold ink: pixels that differ
// clearly from the background colour. {-1, -1} for none.
std::pair<int, int> inkRows(const QImage& image, QColor background) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                    std::abs(c.blue() - background.blue()) >
                60) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

Surface surfaceWithMesh(std::int64_t cols, std::int64_t rows) {
    Surface surface;
    surface.name = "Meshed";
    surface.corners = {{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}};
    surface.mesh = WarpMesh::from(surface.corners, cols, rows);
    return surface;
}

} // namespace

class SurfaceInspectorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;

    SelectedSurfaceControls* controls() const { return h_->view->selectedControls(); }
    SurfaceListPanel* list() const { return h_->view->surfaceList(); }

    // Three surfaces, the middle one selected.
    void addThreeSurfaces() {
        h_->model.addSurface();
        h_->model.addSurface();
        h_->model.addSurface();
        h_->model.setSelectedID(h_->model.surfaces()[1].id);
        h_->settle();
    }

    // Runs `act` on the selected surface and checks that exactly the field
    // that `take` copies from the result changed, that it did change, that no
    // other surface or output changed and that no undo snapshot was taken.
    void expectOnly(const char* what, const std::function<void()>& act,
                    const std::function<void(Surface& expected, const Surface& after)>& take) {
        const Surface before = h_->selected();
        const SurfaceList listBefore = h_->model.surfaces();
        const auto outputsBefore = h_->model.outputs();
        const std::size_t undo = h_->undoDepth();
        const std::size_t redo = h_->redoDepth();
        act();
        h_->settle();
        const Surface after = h_->selected();
        Surface expected = before;
        take(expected, after);
        QVERIFY2(after == expected, what);
        QVERIFY2(!(after == before), what);
        const SurfaceList& listAfter = h_->model.surfaces();
        QCOMPARE(listAfter.size(), listBefore.size());
        for (std::size_t i = 0; i < listAfter.size(); ++i) {
            if (listAfter[i].id != before.id) {
                QVERIFY2(listAfter[i] == listBefore[i], what);
            }
        }
        QVERIFY2(h_->model.outputs() == outputsBefore, what);
        QCOMPARE(h_->undoDepth(), undo);
        QCOMPARE(h_->redoDepth(), redo);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() {
        h_ = std::make_unique<InspectorHarness>();
        QVERIFY(QTest::qWaitForWindowActive(h_->view.get()));
    }

    void cleanup() { h_.reset(); }

    void emptyProjectShowsTheEmptyStateAndDisablesTheSelectionButtons() {
        QCOMPARE(list()->list()->count(), 0);
        QVERIFY(!list()->duplicateButton()->isEnabled());
        QVERIFY(!list()->deleteButton()->isEnabled());
        QVERIFY(list()->addButton()->isEnabled());
        QCOMPARE(list()->duplicateButton()->toolTip(),
                 QStringLiteral("Duplicate selected (Ctrl+D)"));
        QCOMPARE(list()->addButton()->toolTip(), QStringLiteral("Add surface"));
        QCOMPARE(list()->deleteButton()->toolTip(), QStringLiteral("Delete selected"));
        QVERIFY(controls()->emptyState()->isVisible());
        QVERIFY(!controls()->controls()->isVisible());
        QStringList texts;
        for (const QLabel* label : controls()->emptyState()->findChildren<QLabel*>()) {
            texts << label->text();
        }
        QVERIFY(texts.contains(QStringLiteral("No surface selected")));
        QVERIFY(texts.contains(
            QStringLiteral("Add a surface, then drag its corners onto your projection target.")));
        QCOMPARE(list()->list()->height(), 170);

        list()->addButton()->click();
        h_->settle();
        QCOMPARE(h_->model.surfaces().size(), 1u);
        QCOMPARE(h_->undoDepth(), 1u); // the model operation's own snapshot
        QCOMPARE(list()->list()->count(), 1);
        QCOMPARE(list()->list()->item(0)->text(), QStringLiteral("Surface 1"));
        QVERIFY(list()->list()->item(0)->isSelected());
        QVERIFY(list()->duplicateButton()->isEnabled());
        QVERIFY(controls()->controls()->isVisible());
        QVERIFY(!controls()->emptyState()->isVisible());
        QCOMPARE(controls()->nameField()->text(), QStringLiteral("Surface 1"));

        list()->duplicateButton()->click();
        h_->settle();
        QCOMPARE(list()->list()->item(1)->text(), QStringLiteral("Surface 1 copy"));
        QVERIFY(list()->list()->item(1)->isSelected());
        list()->deleteButton()->click();
        list()->deleteButton()->click();
        h_->settle();
        QCOMPARE(list()->list()->count(), 0);
        QVERIFY(controls()->emptyState()->isVisible());
        QVERIFY(!list()->deleteButton()->isEnabled());
    }

    void listAndSelectionFollowEachOther() {
        addThreeSurfaces();
        const std::size_t undo = h_->undoDepth();
        QListWidget* rows = list()->list();
        QCOMPARE(rows->count(), 3);
        QCOMPARE(rows->selectedItems(), QList<QListWidgetItem*>{rows->item(1)});

        clickRow(rows, 2);
        QCOMPARE(h_->model.selectedID(), h_->model.surfaces()[2].id);
        h_->settle();
        QCOMPARE(controls()->nameField()->text(), QStringLiteral("Surface 3"));

        h_->model.setSelectedID(h_->model.surfaces()[0].id);
        h_->settle();
        QCOMPARE(rows->selectedItems(), QList<QListWidgetItem*>{rows->item(0)});
        QCOMPARE(controls()->nameField()->text(), QStringLiteral("Surface 1"));

        // An id no row has, and no selection: no row selected, the empty state.
        h_->model.setSelectedID(Uuid::random());
        h_->settle();
        QVERIFY(rows->selectedItems().isEmpty());
        QVERIFY(controls()->emptyState()->isVisible());
        QVERIFY(list()->deleteButton()->isEnabled()); // selectedID is set
        h_->model.setSelectedID(std::nullopt);
        h_->settle();
        QVERIFY(rows->selectedItems().isEmpty());
        QVERIFY(!list()->deleteButton()->isEnabled());
        QCOMPARE(h_->undoDepth(), undo);

        // Rows follow kind and name changes in place.
        QListWidgetItem* first = rows->item(0);
        Surface renamed = h_->model.surfaces()[0];
        renamed.name = "Renamed";
        renamed.mediaKind = MediaKind::video;
        h_->model.replaceSurface(0, renamed);
        h_->settle();
        QCOMPARE(rows->item(0), first);
        QCOMPARE(first->text(), QStringLiteral("Renamed"));
    }

    void everyControlWritesItsFieldAndOnlyIt() {
        addThreeSurfaces();
        SelectedSurfaceControls* c = controls();

        expectOnly(
            "name", [&] { QTest::keyClicks(c->nameField(), "!"); },
            [](Surface& e, const Surface& a) { e.name = a.name; });
        QCOMPARE(h_->selected().name, std::string("Surface 2!"));

        expectOnly(
            "kind", [&] { c->mediaKindPicker()->button(0)->click(); },
            [](Surface& e, const Surface& a) { e.mediaKind = a.mediaKind; });
        QCOMPARE(h_->selected().mediaKind, MediaKind::color);
        QVERIFY(c->colorRow()->isVisible());

        h_->dialogs->colorAnswers.push_back(QColor(255, 0, 0, 51));
        expectOnly(
            "colour", [&] { c->colorWell()->click(); },
            [](Surface& e, const Surface& a) { e.color = a.color; });
        QCOMPARE(h_->selected().color, (RGBA{1.0f, 0.0f, 0.0f, 51.0f / 255.0f}));
        QCOMPARE(c->colorWell()->color(), QColor(255, 0, 0, 51));

        expectOnly(
            "kind", [&] { c->mediaKindPicker()->button(2)->click(); },
            [](Surface& e, const Surface& a) { e.mediaKind = a.mediaKind; });
        h_->dialogs->fileAnswers.push_back("/media/pictures/poster.png");
        expectOnly(
            "image file", [&] { c->chooseImageButton()->click(); },
            [](Surface& e, const Surface& a) { e.mediaPath = a.mediaPath; });
        QCOMPARE(h_->dialogs->filesAsked.back(), MediaFileType::image);
        QCOMPARE(h_->selected().mediaPath,
                 std::optional<std::string>("/media/pictures/poster.png"));

        expectOnly(
            "kind", [&] { c->mediaKindPicker()->button(3)->click(); },
            [](Surface& e, const Surface& a) {
                e.mediaKind = a.mediaKind;
                e.mediaPath.reset(); // the still is no video
            });
        h_->dialogs->fileAnswers.push_back("/media/clip.mov");
        expectOnly(
            "video file", [&] { c->chooseVideoButton()->click(); },
            [](Surface& e, const Surface& a) { e.mediaPath = a.mediaPath; });
        QCOMPARE(h_->dialogs->filesAsked.back(), MediaFileType::video);

        expectOnly(
            "opacity",
            [&] { c->opacitySlider()->triggerAction(QAbstractSlider::SliderPageStepSub); },
            [](Surface& e, const Surface& a) { e.opacity = a.opacity; });
        QCOMPARE(h_->selected().opacity, 0.9);
        QCOMPARE(c->opacityCaption()->text(), QStringLiteral("Opacity  90%"));

        expectOnly(
            "feather",
            [&] { c->featherSlider()->triggerAction(QAbstractSlider::SliderPageStepAdd); },
            [](Surface& e, const Surface& a) { e.feather = a.feather; });
        QCOMPARE(h_->selected().feather, 0.05f);
        QCOMPARE(c->featherCaption()->text(), QStringLiteral("Edge Feather  5%"));

        expectOnly(
            "corner", [&] { typeAndCommit(c->cornerField(1, false), "0.8"); },
            [](Surface& e, const Surface& a) { e.corners = a.corners; });
        QCOMPARE(h_->selected().corners[1].x, 0.8f);

        expectOnly(
            "mesh on", [&] { c->meshCheckBox()->click(); },
            [](Surface& e, const Surface& a) { e.mesh = a.mesh; });
        // A new mesh is smooth; the box says so and switches it.
        QCOMPARE(h_->selected().mesh->interpolation, WarpMesh::Interpolation::smooth);
        QVERIFY(c->smoothMeshCheckBox()->isChecked());
        expectOnly(
            "cells", [&] { c->smoothMeshCheckBox()->click(); },
            [](Surface& e, const Surface& a) {
                e.mesh->interpolation = WarpMesh::Interpolation::cells;
                QCOMPARE(a.mesh->points, e.mesh->points);
            });
        QVERIFY(!c->smoothMeshCheckBox()->isChecked());
        expectOnly(
            "columns", [&] { c->columnsStepper()->increaseButton()->click(); },
            [](Surface& e, const Surface& a) { e.mesh = a.mesh; });
        expectOnly(
            "rows", [&] { c->rowsStepper()->decreaseButton()->click(); },
            [](Surface& e, const Surface& a) { e.mesh = a.mesh; });
        QCOMPARE(h_->selected().mesh->cols, 4);
        QCOMPARE(h_->selected().mesh->rows, 2);
        QCOMPARE(h_->selected().mesh->interpolation, WarpMesh::Interpolation::cells);
        expectOnly(
            "smooth", [&] { c->smoothMeshCheckBox()->click(); },
            [](Surface& e, const Surface&) {
                e.mesh->interpolation = WarpMesh::Interpolation::smooth;
            });
        Surface dragged = h_->selected();
        dragged.mesh->points[6] = {0.5f, 0.5f};
        h_->model.replaceSurface(*h_->model.selectedIndex(), dragged);
        h_->settle();
        expectOnly(
            "reset mesh", [&] { c->resetMeshButton()->click(); },
            [](Surface& e, const Surface& a) { e.mesh = a.mesh; });
        expectOnly(
            "mesh off", [&] { c->meshCheckBox()->click(); },
            [](Surface& e, const Surface& a) { e.mesh = a.mesh; });
        QVERIFY(!h_->selected().mesh);
        expectOnly(
            "play once", [&] { c->playOnceCheckBox()->click(); },
            [](Surface& e, const Surface& a) { e.playback = a.playback; });
        QCOMPARE(h_->selected().playback, VideoPlayback::once);

        // The one control that takes a snapshot.
        const std::size_t undo = h_->undoDepth();
        c->resetCornersButton()->click();
        h_->settle();
        QCOMPARE(h_->undoDepth(), undo + 1);
        QVERIFY(std::equal(h_->selected().corners.begin(), h_->selected().corners.end(),
                           defaultCorners.begin(), defaultCorners.end()));
        QCOMPARE(c->cornerField(1, false)->text(), QStringLiteral("0.750"));
    }

    void togglesReachTheModelOnceWhicheverWayTheyAreFlipped() {
        h_->model.addSurface();
        h_->settle();
        SelectedSurfaceControls* c = controls();
        QCheckBox* mesh = c->meshCheckBox();
        const std::size_t undo = h_->undoDepth();
        ChangeCounter surfaces(h_->model, ModelField::surfaces);

        // Assistive technology's Toggle action: the mesh comes and goes, one
        // write each, and the model's answer does not come back as an edit.
        QVERIFY(toggleThroughAccessibility(mesh));
        QVERIFY(h_->selected().mesh.has_value());
        QCOMPARE(h_->selected().mesh->cols, 3);
        QCOMPARE(surfaces.count, 1);
        h_->settle();
        QVERIFY(mesh->isChecked());
        QVERIFY(!c->meshDetail()->isHidden());
        QCOMPARE(surfaces.count, 1);
        QVERIFY(toggleThroughAccessibility(mesh));
        QVERIFY(!h_->selected().mesh.has_value());
        QCOMPARE(surfaces.count, 2);
        h_->settle();

        // The keyboard and code reach it the same way.
        mesh->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(mesh, Qt::Key_Space);
        QVERIFY(h_->selected().mesh.has_value());
        mesh->setChecked(false);
        QVERIFY(!h_->selected().mesh.has_value());
        QCOMPARE(surfaces.count, 4);
        h_->settle();

        // Each media segment, through the same action.
        for (int i : {0, 2, 3, 1}) {
            const int before = surfaces.count;
            QVERIFY(toggleThroughAccessibility(c->mediaKindPicker()->button(i)));
            QCOMPARE(h_->selected().mediaKind, allMediaKinds[static_cast<std::size_t>(i)]);
            QCOMPARE(surfaces.count, before + 1);
            h_->settle();
            QCOMPARE(c->mediaKindPicker()->currentIndex(), i);
            QCOMPARE(surfaces.count, before + 1);
        }
        // The segment that is on cannot be turned off: nothing changes.
        QVERIFY(toggleThroughAccessibility(c->mediaKindPicker()->button(1)));
        QCOMPARE(c->mediaKindPicker()->currentIndex(), 1);
        QCOMPARE(surfaces.count, 8);

        // A change made elsewhere shows without being written back.
        Surface video = h_->selected();
        video.mediaKind = MediaKind::video;
        video.mesh = WarpMesh::from(video.corners, 2, 2);
        h_->model.replaceSurface(0, video);
        h_->settle();
        QCOMPARE(surfaces.count, 9);
        QCOMPARE(c->mediaKindPicker()->currentIndex(), 3);
        QVERIFY(mesh->isChecked());
        QCOMPARE(h_->selected().mesh->cols, 2);
        QCOMPARE(h_->undoDepth(), undo);
    }

    void cancelledDialogsChangeNothing() {
        addThreeSurfaces();
        SelectedSurfaceControls* c = controls();
        c->mediaKindPicker()->button(0)->click();
        h_->settle();
        const SurfaceList before = h_->model.surfaces();
        c->colorWell()->click(); // an empty script cancels
        QCOMPARE(h_->dialogs->colorsOffered.size(), 1u);
        QCOMPARE(h_->dialogs->colorsOffered.front(), QColor::fromRgbF(0.2f, 0.6f, 1.0f, 1.0f));
        c->mediaKindPicker()->button(2)->click();
        h_->settle();
        const SurfaceList imageBefore = h_->model.surfaces();
        c->chooseImageButton()->click();
        h_->settle();
        QVERIFY(h_->model.surfaces().sharesStorageWith(imageBefore));
        QVERIFY(c->imageFileLabel()->isHidden());
        Q_UNUSED(before);
    }

    void mediaDetailFollowsTheKind() {
        h_->model.addSurface();
        h_->settle();
        SelectedSurfaceControls* c = controls();
        QCOMPARE(c->mediaKindPicker()->currentIndex(), 1);
        QVERIFY(c->testPatternNote()->isVisible());
        QCOMPARE(c->testPatternNote()->text(),
                 QStringLiteral("A calibration grid with colored corner markers."));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(c->mediaKindPicker()->button(i)->text(),
                     QStringList({"Solid Color", "Test Pattern", "Image", "Video"})[i]);
        }
        QCOMPARE(c->chooseImageButton()->text(), QStringLiteral("Choose Image\u2026"));
        QCOMPARE(c->chooseVideoButton()->text(), QStringLiteral("Choose Video\u2026"));

        // A long file name is cut in the middle.
        Surface s = h_->selected();
        s.mediaKind = MediaKind::video;
        s.mediaPath = "/very/long/folder/name/"
                      "a-clip-with-a-name-far-too-long-for-the-panel-to-show-whole.mp4";
        h_->model.replaceSurface(0, s);
        h_->settle();
        QVERIFY(c->videoRow()->isVisible());
        QVERIFY(!c->imageRow()->isVisible());
        QVERIFY(!c->testPatternNote()->isVisible());
        ElidedLabel* file = c->videoFileLabel();
        QCOMPARE(file->fullText(),
                 QStringLiteral("a-clip-with-a-name-far-too-long-for-the-panel-to-show-whole.mp4"));
        QVERIFY(file->text().contains(QChar(0x2026)));
        QVERIFY(file->text().startsWith(QStringLiteral("a-clip")));
        QVERIFY(file->text().endsWith(QStringLiteral(".mp4")));
    }

    // A surface switched to another kind keeps no file of the kind before
    // (a still is no shader, and reading it as one is an error): the new
    // kind starts without one and asks for one of its own.
    void switchingKindStartsWithoutAFileAndAsksForOne() {
        QTemporaryDir folder;
        const std::string still = folder.filePath(QStringLiteral("still.png")).toStdString();
        QFile file(QString::fromStdString(still));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n");
        file.close();
        std::vector<std::string> log;
        const ScopedLogSink sink([&log](std::string_view line) { log.emplace_back(line); });
        h_->model.addSurface();
        Surface s = h_->selected();
        s.mediaKind = MediaKind::image;
        s.mediaPath = still;
        h_->model.replaceSurface(0, s);
        h_->settle();
        SelectedSurfaceControls* c = controls();

        c->mediaKindPicker()->button(4)->click(); // Shader; the chooser is cancelled
        h_->settle();
        QCOMPARE(h_->selected().mediaKind, MediaKind::shader);
        QVERIFY(!h_->selected().mediaPath);
        QCOMPARE(h_->dialogs->filesAsked.back(), MediaFileType::shader);
        QVERIFY2(log.empty(), log.empty() ? "" : log.front().c_str());

        h_->dialogs->fileAnswers.push_back("/media/clip.mov");
        c->mediaKindPicker()->button(3)->click(); // Video, chosen at once
        h_->settle();
        QCOMPARE(h_->dialogs->filesAsked.back(), MediaFileType::video);
        QCOMPARE(h_->selected().mediaPath, std::optional<std::string>("/media/clip.mov"));
        QCOMPARE(c->videoFileLabel()->fullText(), QStringLiteral("clip.mov"));

        const std::size_t asked = h_->dialogs->filesAsked.size();
        c->mediaKindPicker()->button(0)->click(); // a colour has no file to ask for
        c->mediaKindPicker()->button(0)->click(); // the kind it has: nothing
        h_->settle();
        QCOMPARE(h_->dialogs->filesAsked.size(), asked);
        QVERIFY(!h_->selected().mediaPath);
    }

    void fileNameCaptionShowsItsUnderscoresAndDescenders() {
        h_->model.addSurface();
        Surface s = h_->selected();
        s.mediaKind = MediaKind::image;
        s.mediaPath = "/photos/photo_with_a_long_name.jpg";
        h_->model.replaceSurface(0, s);
        h_->settle();
        ElidedLabel* caption = controls()->imageFileLabel();
        QVERIFY(caption->isVisible());
        QCOMPARE(caption->text(), QStringLiteral("photo_with_a_long_name.jpg"));

        // The caption as the screen shows it, against the same text drawn
        // with room to spare: every row of ink, the underscores' included,
        // must be on the screen.
        const QImage shot = caption->grab().toImage();
        const QColor background = caption->palette().color(caption->backgroundRole());
        QImage reference(shot.width(), shot.height() * 4, QImage::Format_ARGB32_Premultiplied);
        reference.fill(background);
        {
            QPainter painter(&reference);
            painter.setFont(caption->font());
            painter.setPen(caption->palette().color(caption->foregroundRole()));
            painter.drawText(QPointF(0, shot.height() * 2), caption->text());
        }
        const auto [shotTop, shotBottom] = inkRows(shot, background);
        const auto [refTop, refBottom] = inkRows(reference, background);
        QVERIFY(shotTop >= 0 && refTop >= 0);
        QVERIFY2(shotBottom - shotTop == refBottom - refTop,
                 qPrintable(QStringLiteral("%1 rows of ink shown of %2 (caption %3 px high)")
                                .arg(shotBottom - shotTop + 1)
                                .arg(refBottom - refTop + 1)
                                .arg(shot.height())));
    }

    void theKindIconOfTheSelectedRowTakesTheHighlightedTextColour() {
        addThreeSurfaces();
        QListWidget* rows = list()->list();
        rows->setFocus(Qt::OtherFocusReason);
        const QImage shot = rows->viewport()->grab().toImage();
        const QPalette palette = rows->palette();
        const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
        const QColor text = palette.color(QPalette::Active, QPalette::HighlightedText);
        const QColor artwork(0x70, 0x70, 0x70);
        const auto near = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue()) <
                   40;
        };
        // The icon sits at the start of the row, before the name.
        const auto iconPixels = [&](int row, const QColor& colour) {
            const QRect rect = rows->visualItemRect(rows->item(row));
            int count = 0;
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x < rect.left() + rect.height(); ++x) {
                    count += near(shot.pixelColor(x, y), colour) ? 1 : 0;
                }
            }
            return count;
        };
        QVERIFY(near(shot.pixelColor(rows->visualItemRect(rows->item(1)).topLeft() + QPoint(1, 1)),
                     highlight));
        QVERIFY2(iconPixels(1, text) > 10, "the selected row's icon shows in its text colour");
        QCOMPARE(iconPixels(1, artwork), 0);
        QVERIFY2(iconPixels(0, artwork) > 10, "other rows keep the artwork's grey");
    }

    void captionsShowTheValuesCutTowardZero() {
        h_->model.addSurface();
        Surface s = h_->selected();
        s.opacity = 0.29;
        s.feather = 0.5f;
        h_->model.replaceSurface(0, s);
        h_->settle();
        QCOMPARE(controls()->opacityCaption()->text(), QStringLiteral("Opacity  28%"));
        QCOMPARE(controls()->featherCaption()->text(), QStringLiteral("Edge Feather  50%"));
        QCOMPARE(controls()->featherSlider()->value(), ContinuousSlider::steps);
        s.opacity = 1.0;
        h_->model.replaceSurface(0, s);
        h_->settle();
        QCOMPARE(controls()->opacityCaption()->text(), QStringLiteral("Opacity  100%"));
    }

    void meshOnOffOnGivesAFreshGridAndHidesTheCornerFields() {
        h_->model.addSurface();
        h_->settle();
        SelectedSurfaceControls* c = controls();
        QVERIFY(c->cornerFields()->isVisible());
        QVERIFY(!c->meshDetail()->isVisible());

        c->meshCheckBox()->click();
        h_->settle();
        const std::vector<Pt> corners = h_->selected().corners;
        // A smooth grid over the corners.
        std::optional<WarpMesh> fresh = WarpMesh::from(corners, 3, 3);
        fresh->interpolation = WarpMesh::Interpolation::smooth;
        QCOMPARE(h_->selected().mesh, fresh);
        QVERIFY(!c->cornerFields()->isVisible());
        QVERIFY(c->resetCornersButton()->isVisible());
        QVERIFY(c->meshDetail()->isVisible());
        QCOMPARE(c->columnsCaption()->text(), QStringLiteral("Columns: 3"));
        QCOMPARE(c->rowsCaption()->text(), QStringLiteral("Rows: 3"));

        Surface moved = h_->selected();
        moved.mesh->points[5] = {0.0f, 0.0f};
        h_->model.replaceSurface(0, moved);
        h_->settle();
        c->meshCheckBox()->click();
        h_->settle();
        QVERIFY(!h_->selected().mesh);
        QVERIFY(c->cornerFields()->isVisible());
        c->meshCheckBox()->click();
        h_->settle();
        QCOMPARE(h_->selected().mesh, fresh);
    }

    void changingTheCountsRebuildsEveryPointFromTheCorners() {
        h_->model.setSurfaces(std::vector<Surface>{surfaceWithMesh(3, 3)});
        h_->model.setSelectedID(h_->model.surfaces()[0].id);
        Surface moved = h_->selected();
        for (Pt& p : moved.mesh->points) {
            p.x += 0.01f;
        }
        h_->model.replaceSurface(0, moved);
        h_->settle();

        controls()->columnsStepper()->increaseButton()->click();
        h_->settle();
        QCOMPARE(h_->selected().mesh, WarpMesh::from(moved.corners, 4, 3));
        QCOMPARE(controls()->columnsCaption()->text(), QStringLiteral("Columns: 4"));

        // A stepper at its end does not move.
        for (int i = 0; i < 5; ++i) {
            controls()->rowsStepper()->increaseButton()->click();
        }
        h_->settle();
        QCOMPARE(h_->selected().mesh->rows, 6);
        QVERIFY(!controls()->rowsStepper()->increaseButton()->isEnabled());
    }

    void showingTheModelNeverWritesItBack() {
        // A loaded 10 × 10 mesh, beyond the steppers' 1..6, and values the
        // fields show rounded: refreshing must store none of it.
        Surface loaded = surfaceWithMesh(10, 10);
        loaded.opacity = 0.123456789;
        loaded.feather = 0.7f; // beyond the slider's 0.5
        Surface plain;
        plain.corners[0] = {0.12345f, -7.0f};
        h_->model.setSurfaces(std::vector<Surface>{loaded, plain});
        h_->model.setSelectedID(loaded.id);
        const SurfaceList before = h_->model.surfaces();
        h_->settle();
        QVERIFY(h_->model.surfaces().sharesStorageWith(before));
        QCOMPARE(controls()->columnsCaption()->text(), QStringLiteral("Columns: 10"));
        QCOMPARE(controls()->columnsStepper()->value(), 10);
        QVERIFY(controls()->meshCheckBox()->isChecked());
        QCOMPARE(controls()->featherCaption()->text(), QStringLiteral("Edge Feather  70%"));

        h_->model.setSelectedID(plain.id);
        h_->settle();
        QCOMPARE(controls()->cornerField(0, false)->text(), QStringLiteral("0.123"));
        // Passing through a field without typing stores nothing (its text is
        // the value rounded to three digits).
        controls()->cornerField(0, false)->setFocus();
        controls()->cornerField(0, true)->setFocus();
        controls()->nameField()->setFocus();
        QVERIFY(h_->model.surfaces().sharesStorageWith(before));
        QCOMPARE(h_->model.surfaces()[1].corners[0].x, 0.12345f);
    }

    void cornerFieldsStoreWhatIsTypedAndRefuseWhatIsNotANumber() {
        h_->model.addSurface();
        h_->settle();
        QLineEdit* x = controls()->cornerField(0, false);
        QCOMPARE(x->text(), QStringLiteral("0.250"));
        QCOMPARE(x->placeholderText(), QStringLiteral("x"));
        QCOMPARE(controls()->cornerField(0, true)->placeholderText(), QStringLiteral("y"));

        typeAndCommit(x, "0.12345");
        QCOMPARE(h_->selected().corners[0].x, 0.12345f);
        QCOMPARE(x->text(), QStringLiteral("0.123"));
        typeAndCommit(x, "-1.5"); // not clamped to the canvas
        QCOMPARE(h_->selected().corners[0].x, -1.5f);

        for (const char* bad : {"nan", "inf", "-inf", "1e39", "abc", ""}) {
            typeAndCommit(x, bad);
            QVERIFY2(h_->selected().corners[0].x == -1.5f, bad);
            QCOMPARE(x->text(), QStringLiteral("-1.500"));
        }
        QCOMPARE(h_->undoDepth(), 1u); // addSurface's own
        // Nothing unsavable got in.
        const QTemporaryDir dir;
        QVERIFY(h_->model.save(dir.filePath(QStringLiteral("corner.json")).toStdString()).ok);

        // The user's locale: a comma is the decimal mark in German.
        h_->view->setLocale(QLocale(QLocale::German, QLocale::Germany));
        typeAndCommit(x, "0,5");
        QCOMPARE(h_->selected().corners[0].x, 0.5f);
        QCOMPARE(x->text(), QStringLiteral("0,500"));
        typeAndCommit(x, "0.250"); // a group separator there: refused
        QCOMPARE(h_->selected().corners[0].x, 0.5f);
    }

    void typingSurvivesModelChanges() {
        addThreeSurfaces();
        SelectedSurfaceControls* c = controls();

        // A corner field being typed in, while the editor drags the corner.
        QLineEdit* x = c->cornerField(2, false);
        x->setFocus();
        x->selectAll();
        QTest::keyClicks(x, "0.61");
        x->setCursorPosition(2);
        Surface dragged = h_->selected();
        dragged.corners[2] = {0.3f, 0.35f};
        h_->model.replaceSurface(1, dragged);
        h_->settle();
        QCOMPARE(x->text(), QStringLiteral("0.61"));
        QCOMPARE(x->cursorPosition(), 2);
        QVERIFY(x->hasFocus());
        QCOMPARE(c->cornerField(2, true)->text(), QStringLiteral("0.350")); // not being typed in
        QTest::keyClick(x, Qt::Key_Return);
        QCOMPARE(h_->selected().corners[2].x, 0.61f);
        QCOMPARE(h_->selected().corners[2].y, 0.35f);

        // The name field, while undo and another window change things.
        QLineEdit* name = c->nameField();
        name->setFocus();
        name->end(false);
        QTest::keyClicks(name, " draft");
        name->setCursorPosition(3);
        Surface other = h_->model.surfaces()[0];
        other.opacity = 0.5;
        h_->model.replaceSurface(0, other);
        h_->model.setOutputs({OutputConfig()});
        h_->settle();
        QCOMPARE(name->text(), QStringLiteral("Surface 2 draft"));
        QCOMPARE(name->cursorPosition(), 3);
        QVERIFY(name->hasFocus());

        // A slider held by the user stays under the pointer; its caption
        // still follows the model.
        ContinuousSlider* opacity = c->opacitySlider();
        opacity->setSliderDown(true);
        opacity->setSliderPosition(4000);
        h_->settle();
        QCOMPARE(h_->selected().opacity, 0.4);
        Surface changed = h_->selected();
        changed.opacity = 0.9;
        h_->model.replaceSurface(1, changed);
        h_->settle();
        QCOMPARE(opacity->sliderPosition(), 4000);
        QCOMPARE(c->opacityCaption()->text(), QStringLiteral("Opacity  90%"));
        // Let go, it takes up what the model got meanwhile.
        opacity->setSliderDown(false);
        QCOMPARE(opacity->value(), 9000);
    }

    void inlineRenameOfSurfaces() {
        addThreeSurfaces();
        QListWidget* rows = list()->list();
        QVERIFY(!h_->view->editingSurfaceID());

        clickRow(rows, 0, true);
        const Uuid first = h_->model.surfaces()[0].id;
        QCOMPARE(h_->view->editingSurfaceID(), first);
        QLineEdit* field = list()->renameField();
        QVERIFY(field);
        QCOMPARE(field->text(), QStringLiteral("Surface 1"));
        QCOMPARE(field->placeholderText(), QStringLiteral("Name"));
        QVERIFY(field->hasFocus());
        QTest::keyClicks(field, "Wall");                             // replaces the selected name
        QCOMPARE(h_->model.surfaces()[0].name, std::string("Wall")); // each keystroke
        h_->settle();

        // A surface added meanwhile leaves the field, its text and focus alone.
        h_->model.addSurface();
        h_->settle();
        QCOMPARE(list()->renameField(), field);
        QVERIFY(field->hasFocus());

        // Editing moves to another row; the first keeps what was typed.
        clickRow(rows, 2, true);
        QCOMPARE(h_->view->editingSurfaceID(), h_->model.surfaces()[2].id);
        h_->settle();
        QCOMPARE(rows->item(0)->text(), QStringLiteral("Wall"));
        QVERIFY(rows->itemWidget(rows->item(2)));
        QVERIFY(!rows->itemWidget(rows->item(0)));
        QTest::keyClicks(list()->renameField(), "Floor");
        QTest::keyClick(list()->renameField(), Qt::Key_Return);
        QVERIFY(!h_->view->editingSurfaceID());
        h_->settle();
        QCOMPARE(rows->item(2)->text(), QStringLiteral("Floor"));
        QVERIFY(!list()->renameField());
        QCOMPARE(h_->undoDepth(), 4u); // the four addSurface calls only

        // The editing id outlives its surface: Undo brings the field back.
        list()->beginRename(first);
        h_->model.setSelectedID(first);
        h_->model.deleteSelected();
        h_->settle();
        QVERIFY(!list()->renameField());
        QCOMPARE(h_->view->editingSurfaceID(), first);
        h_->model.undo();
        h_->settle();
        QVERIFY(list()->renameField());
        QCOMPARE(list()->renameField()->text(), QStringLiteral("Wall"));
    }

    void everyControlHasAnAccessibleName() {
        addThreeSurfaces();
        h_->model.addOutput(OutputPreset::leftHalf);
        h_->model.setBackgroundImagePath("/tmp/reference.png");
        h_->settle();
        QStringList names;
        const auto check = [&names](QWidget* widget) {
            if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                qobject_cast<QAbstractSlider*>(widget) || qobject_cast<QListWidget*>(widget) ||
                qobject_cast<Stepper*>(widget) || qobject_cast<SegmentedControl*>(widget)) {
                QVERIFY2(!widget->accessibleName().isEmpty(),
                         qPrintable(widget->metaObject()->className() + QStringLiteral(" ") +
                                    widget->objectName()));
                names << widget->accessibleName();
            }
        };
        for (QWidget* widget : h_->view->findChildren<QWidget*>()) {
            if (!qobject_cast<QScrollBar*>(widget)) {
                check(widget);
            }
        }
        for (const char* name : {"Opacity",
                                 "Edge Feather",
                                 "Columns",
                                 "Rows",
                                 "TL x",
                                 "TL y",
                                 "BL y",
                                 "Media",
                                 "Color",
                                 "Name",
                                 "Curved Surface (Mesh Warp)",
                                 "Reset Mesh",
                                 "Reset Corners",
                                 "L",
                                 "B",
                                 "Add output",
                                 "Delete output",
                                 "Open this output's window",
                                 "Snap",
                                 "Add surface",
                                 "Delete selected",
                                 "Change\u2026",
                                 "Clear",
                                 "Solid Color"}) {
            QVERIFY2(names.contains(QString::fromUtf8(name)), name);
        }
    }

    void theWheelScrollsThePanelPastTheSlidersUntilOneHasFocus() {
        addThreeSurfaces();
        h_->model.setBackgroundImagePath("/tmp/reference.png");
        h_->settle();
        const Surface before = h_->selected();
        const double referenceBefore = h_->model.backgroundOpacity();

        // One notch down over the slider; whether it took it. (Qt hands a
        // wheel event the slider leaves to its parents, up to the scroll area.)
        const auto wheelDown = [this](ContinuousSlider* slider) {
            const QPointF at = QPointF(slider->rect().center());
            QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(slider, &wheel);
            h_->settle();
            return wheel.isAccepted();
        };
        SelectedSurfaceControls* c = controls();
        for (ContinuousSlider* slider : {c->opacitySlider(), c->featherSlider(),
                                         h_->view->referenceSection()->opacitySlider()}) {
            QVERIFY(!wheelDown(slider));
        }
        QVERIFY(h_->selected() == before);
        QCOMPARE(h_->model.backgroundOpacity(), referenceBefore);

        // Clicked or tabbed into, a slider takes the wheel.
        c->opacitySlider()->setFocus(Qt::TabFocusReason);
        QVERIFY(wheelDown(c->opacitySlider()));
        QVERIFY(h_->selected().opacity < before.opacity);
    }

    void panelFitsItsMinimumWidth() {
        addThreeSurfaces();
        h_->model.addOutput(OutputPreset::full);
        h_->model.setBackgroundImagePath("/tmp/reference.png");
        h_->settle();
        QCOMPARE(h_->view->minimumWidth(), 290);
        h_->view->resize(290, 700);
        QCoreApplication::processEvents();
        QScrollArea* scroll = h_->view->scrollArea();
        // Nothing sticks out of the scrolling column at the narrowest.
        QVERIFY(scroll->widget()->minimumSizeHint().width() <= scroll->viewport()->width());
        QVERIFY(h_->view->minimumSizeHint().width() <= 290);
    }
};

QTEST_MAIN(SurfaceInspectorTest)
#include "SurfaceInspectorTest.moc"
