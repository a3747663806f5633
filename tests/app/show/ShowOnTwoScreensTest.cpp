// `prismeta --show` on a desktop of two screens, LEFT and RIGHT (see
// run-with-two-screens), checked by the pixels on the screens: each output
// fills its own screen, follows it when it is unplugged and plugged in again
// (hidden meanwhile rather than over the other output's picture), the
// primary one included, and keeps showing what it loaded when its project
// file is replaced.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// Canvas 2560 x 720, red over its left half and green over its right half
// (each quad reaches past the canvas so no edge pixel is left uncovered);
// the output "Left" shows the left half on LEFT, "Right" the right half on
// RIGHT, both 1280 x 720 like their screens, so each fills its screen.
const char* const showProject = R"({
  "backgroundOpacity": 0.5,
  "canvasHeight": 720,
  "canvasWidth": 2560,
  "outputs": [
    {"blendBottom": 0, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0, "cropY": 0,
     "display": {"fullScreen": true, "height": 720, "screen": "LEFT", "width": 1280,
                 "x": 0, "y": 0},
     "id": "9A4C2B1E-0D6F-4E8A-9B3C-1F2E3D4C5B6A", "name": "Left"},
    {"blendBottom": 0, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0.5, "cropY": 0,
     "display": {"fullScreen": true, "height": 720, "screen": "RIGHT", "width": 1280,
                 "x": 1280, "y": 0},
     "id": "5B6A4C3D-2E1F-4A0B-8C9D-0E1F2A3B4C5D", "name": "Right"}
  ],
  "surfaces": [
    {"color": {"a": 1, "b": 0, "g": 0, "r": 1},
     "corners": [{"x": -0.1, "y": -0.1}, {"x": 0.5, "y": -0.1},
                 {"x": 0.5, "y": 1.1}, {"x": -0.1, "y": 1.1}],
     "feather": 0, "id": "0C1D2E3F-4A5B-4C6D-8E7F-8091A2B3C4D5",
     "mediaKind": "color", "name": "Red", "opacity": 1},
    {"color": {"a": 1, "b": 0, "g": 1, "r": 0},
     "corners": [{"x": 0.5, "y": -0.1}, {"x": 1.1, "y": -0.1},
                 {"x": 1.1, "y": 1.1}, {"x": 0.5, "y": 1.1}],
     "feather": 0, "id": "1D2E3F4A-5B6C-4D7E-8F90-A1B2C3D4E5F6",
     "mediaKind": "color", "name": "Green", "opacity": 1}
  ]
}
)";

const QRect leftScreen(0, 0, 1280, 720);
const QRect rightScreen(1280, 0, 1280, 720);

enum class Colour { red, green };

bool is(QRgb pixel, Colour colour) {
    const int want = colour == Colour::red ? qRed(pixel) : qGreen(pixel);
    const int other = colour == Colour::red ? qGreen(pixel) : qRed(pixel);
    return want > 200 && other < 50 && qBlue(pixel) < 50;
}

const char* name(Colour colour) {
    return colour == Colour::red ? "red" : "green";
}

// The whole desktop as the X server holds it. A grab of the desktop is
// placed relative to the screen grabbed from, which is RIGHT while LEFT is
// unplugged.
QImage desktop() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    const QPoint corner = screen->geometry().topLeft();
    return screen->grabWindow(0, -corner.x(), -corner.y(), 2560, 720).toImage();
}

// Where a window that fills `area` shows: every corner (1 pixel in), the
// middle of every edge and the centre.
QList<QPoint> probes(const QRect& area) {
    const int l = area.left() + 1;
    const int r = area.right() - 1;
    const int t = area.top() + 1;
    const int b = area.bottom() - 1;
    const QPoint c = area.center();
    return {{l, t}, {r, t}, {l, b}, {r, b}, {c.x(), t}, {c.x(), b}, {l, c.y()}, {r, c.y()}, c};
}

// Empty when every probe of `area` shows `colour`; else what was seen.
QString mismatch(const QImage& image, const QRect& area, Colour colour) {
    for (const QPoint& p : probes(area)) {
        const QRgb pixel = image.pixel(p);
        if (!is(pixel, colour)) {
            return QStringLiteral("(%1, %2) is (%3, %4, %5), not %6")
                .arg(p.x())
                .arg(p.y())
                .arg(qRed(pixel))
                .arg(qGreen(pixel))
                .arg(qBlue(pixel))
                .arg(QLatin1String(name(colour)));
        }
    }
    return {};
}

} // namespace

class ShowOnTwoScreensTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QProcess show_;
    QString log_; // the show's standard error read so far

    QString projectPath() const { return dir_.filePath(QStringLiteral("show.prismeta.json")); }

    // Waits (software GL starts slowly on a busy machine) until `check`
    // passes on a grab of the desktop; the last complaint otherwise.
    QString waitFor(const std::function<QString(const QImage&)>& check, int seconds = 90) {
        QString complaint;
        for (int waited = 0; waited < seconds * 10; ++waited) {
            if (show_.state() != QProcess::Running) {
                return QStringLiteral("the show ended: ") +
                       QString::fromLocal8Bit(show_.readAllStandardError());
            }
            complaint = check(desktop());
            if (complaint.isEmpty()) {
                return {};
            }
            QTest::qWait(100);
        }
        return complaint;
    }

    void xrandr(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xrandr"), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QFile file(projectPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(showProject);
    }

    void cleanupTestCase() {
        if (show_.state() == QProcess::Running) {
            show_.terminate();
            if (!show_.waitForFinished(10000)) {
                show_.kill();
                show_.waitForFinished(10000);
            }
        }
    }

    void eachOutputFillsItsScreenAndFollowsIt() {
        show_.setProcessChannelMode(QProcess::SeparateChannels);
        show_.start(QStringLiteral(PRISMETA_BINARY), {QStringLiteral("--show"), projectPath()});
        QVERIFY2(show_.waitForStarted(10000), qPrintable(show_.errorString()));

        const auto bothShown = [](const QImage& image) {
            const QString left = mismatch(image, leftScreen, Colour::red);
            return left.isEmpty() ? mismatch(image, rightScreen, Colour::green) : left;
        };
        QString complaint = waitFor(bothShown);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

        // The project file is replaced (and then removed) while the show
        // runs: what it loaded stays on the screens.
        {
            QFile file(projectPath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("{ not a project");
        }
        QTest::qWait(500);
        QVERIFY(QFile::remove(projectPath()));
        QTest::qWait(1500);
        complaint = bothShown(desktop());
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

        // RIGHT is unplugged: its output must not wait over the left
        // output's picture (LEFT is the only screen, and it is live), so it
        // is hidden, and LEFT stays all red, its middle included.
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("RIGHT")});
        complaint = waitFor([this](const QImage& image) -> QString {
            if (QGuiApplication::screens().size() != 1) {
                return QStringLiteral("RIGHT is still listed");
            }
            log_ += QString::fromLocal8Bit(show_.readAllStandardError());
            if (!log_.contains(QStringLiteral("hidden meanwhile"))) {
                return QStringLiteral("the show has not hidden the right output yet");
            }
            return mismatch(image, leftScreen, Colour::red);
        });
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        // And it stays so.
        QTest::qWait(1000);
        complaint = mismatch(desktop(), leftScreen, Colour::red);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

        // Plugged in again: full screen on it, and LEFT all red again.
        xrandr({QStringLiteral("--setmonitor"), QStringLiteral("RIGHT"),
                QStringLiteral("1280/338x720/190+1280+0"), QStringLiteral("none")});
        complaint = waitFor(bothShown);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

        // LEFT, the primary, is unplugged: X then lists a screen for its
        // whole desktop, which lies over RIGHT. The left output waits out of
        // sight (RIGHT stays all green) and comes back full screen, though
        // Qt moves its window off each screen that goes.
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("LEFT")});
        complaint = waitFor([this](const QImage& image) -> QString {
            log_ += QString::fromLocal8Bit(show_.readAllStandardError());
            if (!log_.contains(QStringLiteral("output \"Left\" waits for screen \"LEFT\""))) {
                return QStringLiteral("the show has not seen LEFT go yet");
            }
            return mismatch(image, rightScreen, Colour::green);
        });
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        QTest::qWait(1000);
        complaint = mismatch(desktop(), rightScreen, Colour::green);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        xrandr({QStringLiteral("--setmonitor"), QStringLiteral("LEFT"),
                QStringLiteral("1280/338x720/190+0+0"), QStringLiteral("screen")});
        complaint = waitFor(bothShown);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

        const QString log = log_ + QString::fromLocal8Bit(show_.readAllStandardError());
        for (const char* output : {"Right", "Left"}) {
            const QString waited =
                QStringLiteral("Prismeta: show: output \"%1\" waits for screen "
                               "\"%2\", which is not connected; hidden "
                               "meanwhile")
                    .arg(QString::fromLatin1(output), QString::fromLatin1(output).toUpper());
            QVERIFY2(log.contains(waited), qPrintable(log));
        }
        QVERIFY2(!log.contains(QStringLiteral("failed to load")), qPrintable(log));
    }
};

QTEST_MAIN(ShowOnTwoScreensTest)
#include "ShowOnTwoScreensTest.moc"
