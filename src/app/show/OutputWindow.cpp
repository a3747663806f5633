#include "app/show/OutputWindow.h"

#include "app/Icons.h"
#include "app/show/OutputView.h"
#include "app/show/ScreenList.h"
#include "placement/WindowFit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace prismeta {

namespace {

// A plain QWidget is exposed as a client area, which AT-SPI calls a filler;
// an output window is a window of its own (role frame there), named by its
// output.
QAccessibleInterface* outputWindowAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(OutputWindow::staticMetaObject.className()) ||
        !object->isWidgetType()) {
        return nullptr;
    }
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

void installOutputWindowAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(outputWindowAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

OutputWindow::OutputWindow(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new OutputView(adapter, outputID, this)) {
    installOutputWindowAccessible();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(appIcon(AppIcon::application));
    setFocusPolicy(Qt::StrongFocus);
    // Black under everything, including whatever the window system shows
    // before the first frame.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    view_->setFocusPolicy(Qt::NoFocus);

    resize(defaultWidth, defaultHeight);
    connect(view_, &OutputView::nameChanged, this, &OutputWindow::applyTitle);
    applyTitle(QString::fromStdString(view_->config().name));
}

const std::optional<Uuid>& OutputWindow::outputID() const {
    return view_->outputID();
}

void OutputWindow::applyTitle(const QString& name) {
    QString title = name;
    // A name is text, never Qt's modified-mark placeholder.
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
    // Assistive technology announces the window by the title it shows.
    setAccessibleName(name);
}

void OutputWindow::toggleFullScreen() {
    if (isFullScreen()) {
        leaveFullScreen();
    } else {
        enterFullScreen(screen());
    }
}

void OutputWindow::enterFullScreen(QScreen* target) {
    showFullScreenOn(target);
    if (QScreen* on = screen()) {
        emit placedByUser(on, true);
    }
}

void OutputWindow::leaveFullScreen() {
    if (!isFullScreen()) {
        return;
    }
    QScreen* on = screen();
    showWindowedAt(on, windowedRectOn(on));
    if (on != nullptr) {
        emit placedByUser(on, false);
    }
}

void OutputWindow::showFullScreenOn(QScreen* target) {
    if (target == nullptr) {
        target = screen();
    }
    if (target == nullptr) {
        return;
    }
    intendedScreen_ = target;
    if (isVisible() && isFullScreen() && screen() == target && geometry() == target->geometry()) {
        return;
    }
    if (isFullScreen()) {
        // Back to a normal window first, so the window system moves it.
        showNormal();
    } else if (isVisible()) {
        normalGeometry_ = geometry();
    }
    setScreen(target);
    setGeometry(target->geometry());
    showFullScreen();
}

void OutputWindow::showWindowedAt(QScreen* target, const QRect& rect) {
    if (target != nullptr) {
        intendedScreen_ = target;
    }
    if (isFullScreen()) {
        showNormal();
    }
    if (target != nullptr) {
        setScreen(target);
    }
    setGeometry(rect);
    normalGeometry_ = rect;
    if (!isVisible()) {
        show();
    }
}

QRect OutputWindow::windowedRectOn(QScreen* target) const {
    if (target == nullptr) {
        return normalGeometry_.isValid() ? normalGeometry_ : QRect(0, 0, width(), height());
    }
    // Where it was before full screen, when that is on this screen; else
    // its size in the middle of the screen.
    const QRect area = target->availableGeometry();
    if (normalGeometry_.isValid() && area.contains(normalGeometry_)) {
        return normalGeometry_;
    }
    const QSize size =
        normalGeometry_.isValid() ? normalGeometry_.size() : QSize(defaultWidth, defaultHeight);
    return toQRect(
        centredWindow({size.width(), size.height()}, toScreenRect(area), FrameMargins{}));
}

void OutputWindow::setPointerAlwaysHidden(bool hidden) {
    pointerAlwaysHidden_ = hidden;
    updateCursor();
}

void OutputWindow::setNotice(const QString& text) {
    if (text.isEmpty()) {
        if (notice_ != nullptr) {
            notice_->hide();
            notice_->clear();
        }
        return;
    }
    if (notice_ == nullptr) {
        notice_ = new QLabel(this);
        notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
        // Small and dim: it is read by whoever sets the machine up, at the
        // corner of a projection that is black meanwhile.
        QFont font = notice_->font();
        font.setPointSizeF(font.pointSizeF() * 0.9);
        notice_->setFont(font);
        notice_->setStyleSheet(
            QStringLiteral("QLabel { color: #a0a0a0; background: black; padding: 2px 6px; }"));
    }
    notice_->setText(text);
    notice_->setAccessibleName(text);
    placeNotice();
    notice_->show();
    notice_->raise();
}

QString OutputWindow::notice() const {
    return notice_ != nullptr && !notice_->isHidden() ? notice_->text() : QString();
}

void OutputWindow::placeNotice() {
    if (notice_ == nullptr) {
        return;
    }
    const int margin = 8;
    notice_->adjustSize();
    const int width = std::min(notice_->width(), std::max(0, this->width() - 2 * margin));
    notice_->setGeometry(margin, height() - notice_->height() - margin, width, notice_->height());
}

void OutputWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeNotice();
}

void OutputWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!watchingScreen_ && windowHandle() != nullptr) {
        watchingScreen_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, &OutputWindow::onScreenChanged);
        if (intendedScreen_.isNull()) {
            intendedScreen_ = screen();
        }
    }
}

void OutputWindow::onScreenChanged(QScreen* now) {
    // A screen that went away takes its windows elsewhere: not the user. Qt
    // moves them while the screen object still exists, but no longer lists
    // it. Placements by the application set the screen they aim at first.
    if (now == nullptr || now == intendedScreen_ || intendedScreen_.isNull() || isFullScreen() ||
        !QGuiApplication::screens().contains(intendedScreen_.data())) {
        return;
    }
    intendedScreen_ = now;
    emit placedByUser(now, false);
}

QString OutputWindow::fullScreenLabel(const QScreen* target) {
    QString label = tr("Full Screen On %1").arg(target->name());
    const QString model = target->model().trimmed();
    if (!model.isEmpty() && model != target->name()) {
        label += QStringLiteral(" (%1)").arg(model);
    }
    return label;
}

void OutputWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

void OutputWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        updateCursor();
    }
}

void OutputWindow::updateCursor() {
    // Nothing but the picture on a projector: no pointer over it.
    if (isFullScreen() || pointerAlwaysHidden_) {
        setCursor(Qt::BlankCursor);
    } else {
        unsetCursor();
    }
}

void OutputWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    for (QScreen* target : QGuiApplication::screens()) {
        QAction* action = menu.addAction(fullScreenLabel(target));
        // A screen may be unplugged while the menu is open.
        const QPointer<QScreen> guarded(target);
        connect(action, &QAction::triggered, this, [this, guarded] {
            if (guarded) {
                enterFullScreen(guarded);
            }
        });
    }
    if (isFullScreen()) {
        menu.addSeparator();
        QAction* leave = menu.addAction(tr("Leave Full Screen"));
        connect(leave, &QAction::triggered, this, &OutputWindow::leaveFullScreen);
    }
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(event->globalPos());
}

void OutputWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        toggleFullScreen();
        return;
    }
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        leaveFullScreen();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OutputWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        toggleFullScreen();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace prismeta
