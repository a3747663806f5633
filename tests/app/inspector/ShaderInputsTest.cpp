// The selected shader surface's input controls: built from the shader's
// header, showing the surface's values, and each edit reaching the model
// (a value set back to its default removes the key).

#include "InspectorHarness.h"

#include "app/inspector/ColorWell.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/inspector/ShaderInputsSection.h"
#include "app/inspector/SurfaceListPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using namespace prismeta;

namespace {

// One input of each type the inspector offers; the image comes last in the
// header but first in the panel.
const char* const everyInputShader = R"(/*{
  "INPUTS": [
    {"NAME": "flash", "TYPE": "event"},
    {"NAME": "invert", "TYPE": "bool", "DEFAULT": false},
    {"NAME": "mode", "TYPE": "long", "VALUES": [0, 1, 2], "LABELS": ["Soft", "Hard", "Off"],
     "DEFAULT": 1},
    {"NAME": "level", "TYPE": "float", "MIN": 0, "MAX": 2, "DEFAULT": 0.5},
    {"NAME": "centre", "TYPE": "point2D", "DEFAULT": [0.25, 0.75]},
    {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 0, 0, 1]},
    {"NAME": "sound", "TYPE": "audio"},
    {"NAME": "inputImage", "TYPE": "image"}
  ]
}*/
void main() { gl_FragColor = tint * level; }
)";

const char* const oneInputShader = R"(/*{ "INPUTS": [ {"NAME": "speed", "TYPE": "float"} ] }*/
void main() { gl_FragColor = vec4(speed); }
)";

void writeFile(const QString& path, const char* text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

} // namespace

class ShaderInputsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;
    QTemporaryDir dir_;
    QString shaderPath_;

    ShaderInputsSection* section() const { return h_->view->selectedControls()->shaderInputs(); }
    template <typename T> T* control(const char* name) const {
        return section()->findChild<T*>(QStringLiteral("shaderInput_") + QLatin1String(name));
    }
    const ShaderInputs& stored() const { return h_->selected().shaderInputs; }

    void showShader(const QString& path) {
        Surface surface = h_->selected();
        surface.mediaKind = MediaKind::shader;
        surface.mediaPath = path.toStdString();
        h_->model.selectedSurface()->set(surface);
        h_->settle();
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        shaderPath_ = dir_.filePath(QStringLiteral("every.fs"));
        writeFile(shaderPath_, everyInputShader);
        h_ = std::make_unique<InspectorHarness>();
        h_->model.addSurface();
        h_->settle();
    }
    void cleanup() { h_.reset(); }

    void theSurfaceListShowsAShaderIconOfItsOwn() {
        showShader(shaderPath_);
        QListWidget* list = h_->view->surfaceList()->list();
        QCOMPARE(list->count(), 1);
        const auto image = [](const QIcon& icon) { return icon.pixmap(24, 24).toImage(); };
        const QImage shader = image(mediaKindIcon(MediaKind::shader));
        QVERIFY(!shader.isNull()); // the artwork is built in
        QCOMPARE(image(list->item(0)->icon()), shader);
        QVERIFY(shader != image(mediaKindIcon(MediaKind::testPattern)));
    }

    void controlsFollowTheHeader() {
        QVERIFY(section()->isHidden()); // a colour surface has no inputs
        showShader(shaderPath_);
        QVERIFY(section()->isVisibleTo(h_->view.get()));
        const std::vector<std::string> expected = {"inputImage", "flash",  "invert", "mode",
                                                   "level",      "centre", "tint"};
        QCOMPARE(section()->shownInputs(), expected);

        auto* level = control<ContinuousSlider>("level");
        QVERIFY(level != nullptr);
        QCOMPARE(level->minimumValue(), 0.0);
        QCOMPARE(level->maximumValue(), 2.0);
        QVERIFY(std::abs(level->currentValue() - 0.5) < 0.01);
        auto* mode = control<QComboBox>("mode");
        QVERIFY(mode != nullptr);
        QCOMPARE(mode->count(), 3);
        QCOMPARE(mode->currentText(), QStringLiteral("Hard"));
        QVERIFY(control<QCheckBox>("invert") != nullptr);
        QVERIFY(!control<QCheckBox>("invert")->isChecked());
        QCOMPARE(control<ColorWell>("tint")->color(), QColor(255, 0, 0));
        QCOMPARE(control<QLineEdit>("centre")->text(), QStringLiteral("0.250"));
        QCOMPARE(control<QLineEdit>("centre_y")->text(), QStringLiteral("0.750"));
        QVERIFY(control<QPushButton>("inputImage") != nullptr);
        QVERIFY(control<QPushButton>("flash") != nullptr);

        // A value the surface holds shows; one of the wrong shape shows the default.
        Surface surface = h_->selected();
        surface.shaderInputs["mode"] = ShaderInputValue::ofNumber(2);
        surface.shaderInputs["level"] = ShaderInputValue::ofText("loud");
        h_->model.selectedSurface()->set(surface);
        h_->settle();
        QCOMPARE(mode->currentText(), QStringLiteral("Off"));
        QVERIFY(std::abs(level->currentValue() - 0.5) < 0.01);

        // Another kind hides the inputs; a missing or broken file shows none.
        surface.mediaKind = MediaKind::color;
        h_->model.selectedSurface()->set(surface);
        h_->settle();
        QVERIFY(section()->isHidden());
        showShader(dir_.filePath(QStringLiteral("missing.fs")));
        QVERIFY(section()->isHidden());
        const QString broken = dir_.filePath(QStringLiteral("broken.fs"));
        writeFile(broken, "/*{ not json */ void main() {}");
        showShader(broken);
        QVERIFY(section()->isHidden());

        // The file rewritten on disk: the controls follow its new header.
        showShader(shaderPath_);
        writeFile(shaderPath_, oneInputShader);
        std::filesystem::last_write_time(shaderPath_.toStdString(),
                                         std::filesystem::file_time_type::clock::now() +
                                             std::chrono::seconds(5));
        surface = h_->selected();
        surface.opacity = 0.5; // any change shows the surface again
        h_->model.selectedSurface()->set(surface);
        h_->settle();
        QCOMPARE(section()->shownInputs(), std::vector<std::string>{"speed"});
    }

    void editsReachTheModel() {
        showShader(shaderPath_);
        const std::size_t undo = h_->undoDepth();

        auto* level = control<ContinuousSlider>("level");
        level->triggerAction(QAbstractSlider::SliderPageStepAdd);
        h_->settle();
        QVERIFY(stored().count("level") == 1);
        QVERIFY(std::abs(stored().at("level").numbers[0] - level->currentValue()) < 1e-9);
        QVERIFY(stored().at("level").numbers[0] > 0.5);

        auto* mode = control<QComboBox>("mode");
        mode->activated(2);
        h_->settle();
        QCOMPARE(stored().at("mode"), ShaderInputValue::ofNumber(2));
        mode->activated(1); // the default again: the key goes
        h_->settle();
        QVERIFY(stored().count("mode") == 0);

        control<QCheckBox>("invert")->click();
        h_->settle();
        QCOMPARE(stored().at("invert"), ShaderInputValue::ofFlag(true));

        h_->dialogs->colorAnswers.push_back(QColor::fromRgbF(0.0f, 1.0f, 0.0f, 0.5f));
        h_->dialogs->colorAnswers.push_back(std::nullopt);
        control<ColorWell>("tint")->click();
        h_->settle();
        QCOMPARE(h_->dialogs->colorsOffered.back(), QColor(255, 0, 0));
        const ShaderInputValue tint = stored().at("tint");
        QCOMPARE(tint.kind, ShaderInputValue::Kind::numbers);
        QCOMPARE(tint.count, 4);
        QVERIFY(std::abs(tint.numbers[1] - 1.0) < 1e-6 && std::abs(tint.numbers[3] - 0.5) < 1e-3);
        control<ColorWell>("tint")->click(); // cancelled: nothing changes
        h_->settle();
        QCOMPARE(stored().at("tint"), tint);

        typeAndCommit(control<QLineEdit>("centre_y"), QStringLiteral("0.5"));
        h_->settle();
        QCOMPARE(stored().at("centre"), ShaderInputValue::ofPoint(0.25, 0.5));
        typeAndCommit(control<QLineEdit>("centre_y"), QStringLiteral("sideways"));
        h_->settle();
        QCOMPARE(stored().at("centre"), ShaderInputValue::ofPoint(0.25, 0.5));
        QCOMPARE(control<QLineEdit>("centre_y")->text(), QStringLiteral("0.500"));

        h_->dialogs->fileAnswers.push_back(std::string("/media/clip.mov"));
        control<QPushButton>("inputImage")->click();
        h_->settle();
        QCOMPARE(h_->dialogs->filesAsked.back(), MediaFileType::stillOrVideo);
        const QStringList offered = mediaFileExtensions(MediaFileType::stillOrVideo);
        QVERIFY(offered.contains(QStringLiteral("png")) && offered.contains(QStringLiteral("mov")));
        QCOMPARE(stored().at("inputImage"), ShaderInputValue::ofText("/media/clip.mov"));
        control<QPushButton>("inputImage_clear")->click();
        h_->settle();
        QVERIFY(stored().count("inputImage") == 0);

        // An event fires; nothing is stored.
        const ShaderInputs before = stored();
        QSignalSpy fired(section(), &ShaderInputsSection::eventTriggered);
        control<QPushButton>("flash")->click();
        QCOMPARE(fired.count(), 1);
        QCOMPARE(fired.at(0).at(1).toString(), QStringLiteral("flash"));
        // ... for the renderers, which fire it on the shader's next frame.
        const Uuid id = h_->model.selectedSurface()->id();
        QVERIFY(h_->model.shaderEvents().lastTrigger(id, "flash") > 0);
        QCOMPARE(stored(), before);
        QCOMPARE(h_->undoDepth(), undo); // edits as the other fields: no snapshot
    }
};

QTEST_MAIN(ShaderInputsTest)
#include "ShaderInputsTest.moc"
