// The inspector's value rules without widgets around them: number fields in
// the user's locale, slider captions, colour conversion, file filters, and
// the small controls' model-side updates.

#include "app/inspector/Captions.h"
#include "app/inspector/ColorConversion.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/NumberFields.h"
#include "app/inspector/Stepper.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cfloat>

using namespace prismeta;

class InspectorValuesTest : public QObject {
    Q_OBJECT

private slots:
    void coordinatesShowThreeDigitsInTheLocale() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(formatCoordinate(0.25f, english), QStringLiteral("0.250"));
        QCOMPARE(formatCoordinate(0.25f, german), QStringLiteral("0,250"));
        QCOMPARE(formatCoordinate(-1.5f, english), QStringLiteral("-1.500"));
        // No grouping: a field shows what it can read back.
        QCOMPARE(formatCoordinate(1234.5f, english), QStringLiteral("1234.500"));
        QCOMPARE(parseCoordinate(formatCoordinate(1234.5f, german), german), 1234.5f);
    }

    void coordinatesAreStoredExactlyAsTyped() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        // More digits than shown, and values off the canvas, are kept.
        QCOMPARE(parseCoordinate(QStringLiteral("0.12345"), english), 0.12345f);
        QCOMPARE(parseCoordinate(QStringLiteral(" -2.5 "), english), -2.5f);
        QCOMPARE(parseCoordinate(QStringLiteral("0,75"), german), 0.75f);
        // The largest float's own text is a float.
        QCOMPARE(parseCoordinate(QStringLiteral("3.4028235e38"), english), FLT_MAX);
    }

    void unreadableCoordinatesGiveNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QLocale>("locale");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        for (const char* text : {"", "  ", "abc", "nan", "NaN", "inf", "-inf", "1e39", "-1e39",
                                 "3.5e38", "0.5x", "1,000.5"}) {
            QTest::newRow(text) << QString::fromLatin1(text) << english;
        }
        // A point is a group separator in German: "0.250" must not read as 250.
        QTest::newRow("de 0.250") << QStringLiteral("0.250") << german;
    }
    void unreadableCoordinatesGiveNothing() {
        QFETCH(QString, text);
        QFETCH(QLocale, locale);
        QCOMPARE(parseCoordinate(text, locale), std::nullopt);
    }

    void percentagesRoundTrip() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(formatPercent(0.1f, english), QStringLiteral("10%"));
        QCOMPARE(formatPercent(0.2f, english), QStringLiteral("20%"));
        QCOMPARE(formatPercent(0.0f, english), QStringLiteral("0%"));
        QCOMPARE(formatPercent(-0.001f, english), QStringLiteral("0%"));
        QCOMPARE(formatPercent(0.156f, english), QStringLiteral("16%"));
        QCOMPARE(formatPercent(12.5f, english), QStringLiteral("1250%"));

        QCOMPARE(parsePercent(QStringLiteral("20%"), english), 0.2f);
        QCOMPARE(parsePercent(QStringLiteral("15"), english), 0.15f);
        QCOMPARE(parsePercent(QStringLiteral(" 12.5 % "), english), 0.125f);
        QCOMPARE(parsePercent(QStringLiteral("-10%"), english), -0.1f); // no clamping
        QCOMPARE(parsePercent(QStringLiteral("250%"), english), 2.5f);
        QCOMPARE(parsePercent(QStringLiteral("12,5\u00A0%"), german), 0.125f);
        QCOMPARE(parsePercent(formatPercent(0.35f, german), german), 0.35f);

        for (const char* text : {"", "%", "abc%", "nan%", "inf%", "1e41%", "1e39"}) {
            QVERIFY2(!parsePercent(QString::fromLatin1(text), english), text);
        }
    }

    void captionsCutTowardZero() {
        QCOMPARE(opacityCaption(1.0), QStringLiteral("Opacity  100%"));
        QCOMPARE(opacityCaption(0.755), QStringLiteral("Opacity  75%"));
        // 0.29 × 100 is just below 29 in double precision.
        QCOMPARE(opacityCaption(0.29), QStringLiteral("Opacity  28%"));
        QCOMPARE(opacityCaption(0.0), QStringLiteral("Opacity  0%"));
        QCOMPARE(featherCaption(0.5f), QStringLiteral("Edge Feather  50%"));
        QCOMPARE(featherCaption(0.1f), QStringLiteral("Edge Feather  10%"));
        // In single precision 0.29 × 100 rounds up to exactly 29.
        QCOMPARE(featherCaption(0.29f), QStringLiteral("Edge Feather  29%"));
        QCOMPARE(opacityCaption(-0.005), QStringLiteral("Opacity  0%"));
        QCOMPARE(opacityCaption(-0.5), QStringLiteral("Opacity  -50%"));
        // A hand-made file's extremes show without overflow.
        QCOMPARE(opacityCaption(1e300).left(12), QStringLiteral("Opacity  100"));
        QVERIFY(!featherCaption(FLT_MAX).isEmpty());
    }

    void colorsConvertToSrgbOrWhite() {
        const RGBA white{1.0f, 1.0f, 1.0f, 1.0f};
        QCOMPARE(rgbaFromColor(QColor()), white);
        // Extended-range channels cannot be expressed in sRGB.
        QCOMPARE(rgbaFromColor(QColor::fromRgbF(1.5f, 0.2f, 0.1f)), white);
        QCOMPARE(rgbaFromColor(QColor::fromRgbF(0.5f, -0.1f, 0.1f)), white);

        const RGBA red = rgbaFromColor(QColor(255, 0, 0, 128));
        QCOMPARE(red.r, 1.0f);
        QCOMPARE(red.g, 0.0f);
        QCOMPARE(red.b, 0.0f);
        QCOMPARE(red.a, 128.0f / 255.0f);
        // Other colour models are converted, not read raw.
        const RGBA fromHsv = rgbaFromColor(QColor::fromHsvF(1.0f / 3.0f, 1.0f, 1.0f));
        QCOMPARE(fromHsv.r, 0.0f);
        QCOMPARE(fromHsv.g, 1.0f);
        QCOMPARE(fromHsv.b, 0.0f);
        const RGBA fromCmyk = rgbaFromColor(QColor::fromCmykF(0.0f, 1.0f, 1.0f, 0.0f));
        QCOMPARE(fromCmyk.r, 1.0f);
        QCOMPARE(fromCmyk.g, 0.0f);

        // Stored colours reach the well clamped, whatever a file held.
        const QColor shown = colorFromRgba({2.0f, -1.0f, 0.5f, 1.0f});
        QCOMPARE(shown.redF(), 1.0f);
        QCOMPARE(shown.greenF(), 0.0f);
        QVERIFY(shown.isValid());
    }

    void mediaDialogsNameTheirTypesPlainlyAndStartWhereMediaWasLastChosen() {
        QCOMPARE(mediaFileExtensions(MediaFileType::image),
                 QStringList({"png", "jpg", "jpeg", "bmp", "gif", "tif", "tiff", "webp", "tga"}));
        QCOMPARE(mediaFileExtensions(MediaFileType::video),
                 QStringList({"mp4", "m4v", "mov", "mkv", "webm", "avi"}));
        QCOMPARE(
            nameFilterText(mediaFileFilter(MediaFileType::image)),
            QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.gif *.tif *.tiff *.webp *.tga)"));
        QCOMPARE(nameFilterText(mediaFileFilter(MediaFileType::video)),
                 QStringLiteral("Movies (*.mp4 *.m4v *.mov *.mkv *.webm *.avi)"));
        // Shaders start among the generators that come with the program.
        QCOMPARE(nameFilterText(mediaFileFilter(MediaFileType::shader)),
                 QStringLiteral("ISF Shaders (*.fs)"));
        const FileDialogRequest shaders = mediaFileRequest(MediaFileType::shader, std::nullopt);
        QCOMPARE(shaders.title, QStringLiteral("Choose Shader"));
        QVERIFY(QFileInfo::exists(shaders.folder + QStringLiteral("/Plasma.fs")));

        forgetFolders();
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString dir = QFileInfo(folder.path()).canonicalFilePath();
        QVERIFY(QDir(dir).mkdir(QStringLiteral("clips")));
        const std::filesystem::path project =
            std::filesystem::path(dir.toStdString()) / "Show.prismeta.json";
        FileDialogRequest request = mediaFileRequest(MediaFileType::video, project);
        QCOMPARE(request.folder, dir);
        QCOMPARE(request.title, QStringLiteral("Choose Video"));
        QCOMPARE(mediaFileRequest(MediaFileType::image, std::nullopt).folder, QDir::homePath());
        rememberFolder(request.purpose, dir + QStringLiteral("/clips/loop.mp4"));
        QCOMPARE(mediaFileRequest(MediaFileType::image, project).folder,
                 dir + QStringLiteral("/clips"));
        forgetFolders();

        QFileDialog dialog;
        configureFileDialog(dialog, request);
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog.nameFilters(),
                 QStringList{nameFilterText(mediaFileFilter(MediaFileType::video))});
        QCOMPARE(dialog.directory().absolutePath(), dir);
    }

    void sliderShowsTheModelQuietlyAndNeverUnderThePointer() {
        ContinuousSlider slider(0.0, 0.5);
        QSignalSpy edited(&slider, &ContinuousSlider::valueEdited);
        slider.showValue(0.25);
        QCOMPARE(slider.currentValue(), 0.25);
        slider.showValue(7.0); // beyond the range: the end, not a wrap
        QCOMPARE(slider.value(), ContinuousSlider::steps);
        slider.showValue(std::nan(""));
        QCOMPARE(slider.value(), 0);
        QCOMPARE(edited.count(), 0);

        slider.setSliderDown(true);
        slider.showValue(0.4);
        QCOMPARE(slider.value(), 0);
        slider.setSliderDown(false); // let go: the value held back shows
        QCOMPARE(slider.currentValue(), 0.4);
        QCOMPARE(edited.count(), 0);

        slider.triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.front().front().toDouble(), 0.45);
    }

    void stepperShowsAnyValueAndStepsIntoTheRange() {
        Stepper stepper(QStringLiteral("Columns"), 1, 6);
        QSignalSpy edited(&stepper, &Stepper::valueEdited);
        stepper.showValue(10); // a loaded mesh: shown, not clamped, not written
        QCOMPARE(stepper.value(), 10);
        QCOMPARE(edited.count(), 0);
        QVERIFY(!stepper.increaseButton()->isEnabled());
        QVERIFY(stepper.decreaseButton()->isEnabled());
        stepper.decreaseButton()->click();
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.takeFirst().front().value<std::int64_t>(), 6);

        stepper.showValue(1);
        QVERIFY(!stepper.decreaseButton()->isEnabled());
        stepper.increaseButton()->click();
        QCOMPARE(edited.takeFirst().front().value<std::int64_t>(), 2);
        QCOMPARE(stepper.decreaseButton()->accessibleName(), QStringLiteral("Decrease Columns"));
    }

    void longFileNamesAreCutInTheMiddle() {
        ElidedLabel label(Qt::ElideMiddle);
        label.resize(120, 20);
        label.show();
        const QString name = QStringLiteral("a-very-long-beginning-of-a-name-that-ends-in.mp4");
        label.setFullText(name);
        QVERIFY(label.text().contains(QChar(0x2026)));
        QVERIFY(label.text().startsWith(QLatin1Char('a')));
        QVERIFY(label.text().endsWith(QStringLiteral(".mp4")));
        QCOMPARE(label.accessibleName(), name);
        label.resize(2000, 20);
        QCOMPARE(label.text(), name);
    }
};

QTEST_MAIN(InspectorValuesTest)
#include "InspectorValuesTest.moc"
